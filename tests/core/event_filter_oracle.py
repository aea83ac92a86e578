#!/usr/bin/python3
"""Reference results for test_event_filter.cpp, computed independently with
numpy. Run with Debian's interpreter:

    /usr/bin/python3 tests/core/event_filter_oracle.py

The event columns come from a 64-bit linear congruential generator that the
test repeats bit for bit, so no data file is needed. For each scenario and
combine mode the script prints the number of shown events, the sum of their
indices and the sum of their squared indices.
"""
import numpy as np

N = 20000
MASK = (1 << 64) - 1


class Lcg:
    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) & MASK
        return (self.state >> 11) * 2.0 ** -53


def make_columns():
    rng = Lcg(20240917)
    a = np.array([rng.next() * 1000.0 - 100.0 for _ in range(N)])
    b = np.array([10.0 ** (rng.next() * 5.0 - 2.0) for _ in range(N)])
    c = np.array([(rng.next() - 0.3) * 4000.0 for _ in range(N)])
    d = np.array([(rng.next() * 2.0 - 1.0) * 1e5 for _ in range(N)])
    idx = np.arange(N)
    a[idx % 97 == 0] = np.nan
    a[idx % 50 == 1] = 250.0          # exactly on a range bound
    a[idx % 50 == 2] = 600.0          # the other bound
    b[idx % 89 == 3] = -b[idx % 89 == 3]   # non-positive on a log axis
    b[idx % 211 == 4] = 0.0
    c[idx % 101 == 5] = np.nan
    d[idx % 73 == 6] = 300.0          # a polygon corner's y
    return {"a": a, "b": b, "c": c, "d": d}


def axis(v, mode):
    v = np.asarray(v, dtype=float)
    if mode == 1:
        out = np.zeros_like(v)
        pos = v > 0
        out[pos] = np.log(v[pos])
        return out
    if mode == 2:
        out = v * 0.005
        hi = v > 100.0
        lo = v < -100.0
        out[hi] = np.log10(v[hi]) - 1.5
        out[lo] = -(np.log10(-v[lo]) - 1.5)
        return out
    return v


def range_pass(cols, name, lo, hi, inverted):
    v = cols[name]
    with np.errstate(invalid="ignore"):
        inside = (v >= lo) & ~(v > hi)
    return inside != inverted


def polygon_pass(cols, xname, yname, corners, mx, my, inverted):
    cx = axis([p[0] for p in corners], mx)
    cy = axis([p[1] for p in corners], my)
    px = axis(cols[xname], mx)
    py = axis(cols[yname], my)
    inside = np.zeros(N, dtype=bool)
    j = len(corners) - 1
    with np.errstate(all="ignore"):
        for k in range(len(corners)):
            crosses = (cy[k] > py) != (cy[j] > py)
            xcross = cx[k] + (py - cy[k]) * (cx[j] - cx[k]) / (cy[j] - cy[k])
            inside ^= crosses & (px < xcross)
            j = k
    return inside != inverted


CONCAVE = [(-800.0, 0.0), (2000.0, -50.0), (2500.0, 700.0), (600.0, 300.0),
           (400.0, 850.0), (-1000.0, 800.0), (0.0, 300.0)]
LOG_TRI = [(0.05, 1.0), (800.0, 20.0), (5.0, 900.0)]
PSEUDO = [(-5e4, -2000.0), (-50.0, 300.0), (8e4, -500.0), (9e4, 2500.0), (-200.0, 2000.0),
          (-9e4, 300.0)]
MIXED = [(0.02, -9e4), (600.0, -200.0), (900.0, 9e4), (1.0, 300.0), (0.1, 5e4)]


def scenarios(cols):
    return {
        "ranges": [range_pass(cols, "a", 250.0, 600.0, False),
                   range_pass(cols, "c", -50.0, 500.0, True)],
        "linearPolygon": [polygon_pass(cols, "c", "a", CONCAVE, 0, 0, False)],
        "logPolygon": [polygon_pass(cols, "b", "a", LOG_TRI, 1, 1, False)],
        "pseudoLogPolygonInverted": [polygon_pass(cols, "d", "c", PSEUDO, 2, 2, True)],
        # the y axis code 3 is treated as linear
        "mixed": [range_pass(cols, "a", 0.0, 800.0, False),
                  range_pass(cols, "b", 0.05, 500.0, False),
                  polygon_pass(cols, "c", "a", CONCAVE, 0, 3, False),
                  polygon_pass(cols, "b", "d", MIXED, 1, 2, False)],
    }


def main():
    cols = make_columns()
    for name, passes in scenarios(cols).items():
        every = np.logical_and.reduce(passes)
        for mode, shown in (("AND", every), ("NOT", ~every)):
            idx = np.nonzero(shown)[0].astype(np.int64)
            print(f'{{"{name}", FilterCombineMode::{mode}, {len(idx)}, {int(idx.sum())}LL, '
                  f'{int((idx * idx).sum())}LL}},')


if __name__ == "__main__":
    main()

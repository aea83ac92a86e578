#!/usr/bin/python3
# Reference values for CompareCoresTest.cpp, from numpy 1.24 and h5py on the
# measurement the test writes:
#
#     /usr/bin/python3 tests/compare/compare_oracle.py FIXTURE.rtdc
#
# Each output line is "KIND numbers | numbers ...":
#   STATS mean sd q1 median q3 iqr | values     numpy mean, std(ddof=1) (0 for one value),
#                                                quantile (linear, numpy's default)
#   CUT event cutW cutH pixelSize | pixels      the expected cutW x cutH tile, row after row,
#                                                from numpy slices of the frame read by h5py
#   AUTO lo hi | sample | indices               automatic contrast of the events `indices`:
#                                                the sample drawn from numpy's MT19937 stream,
#                                                RandomState(12345).randint(0, 2**32), which
#                                                is the raw output of an mt19937 seeded 12345
# Tiles and the automatic contrast are compared exactly; statistics to 1e-12 relative.
import sys

import h5py
import numpy as np


emit = lambda kind, *groups: print(kind, " | ".join(" ".join(repr(float(v)) for v in g) for g in groups))

rng = np.random.default_rng(20240612)
for n in (1, 2, 3, 4, 5, 7, 100, 20001):
    v = np.round(rng.normal(10.0, 3.0, n), 1)  # one decimal: ties in the larger samples
    q1, med, q3 = np.quantile(v, [0.25, 0.5, 0.75])
    emit("STATS", [v.mean(), np.std(v, ddof=1) if n > 1 else 0.0, q1, med, q3, q3 - q1], v)

with h5py.File(sys.argv[1], "r") as f:
    img = f["events/image"]
    # 100 x 80 frames; centre (50, 40) unless the position says otherwise: img[8:72, 18:82].
    for i in (0, 3, 4):  # NaN or infinite position, centre beyond an int
        emit("CUT", [i, 64, 64, 0.34], img[i][8:72, 18:82].ravel())
    # pos_x = pos_y = 1.0 um: centre (2, 2), x0 = y0 = -30: 30 black columns and rows
    emit("CUT", [1, 64, 64, 0.34], np.pad(img[1][0:34, 0:34], ((30, 0), (30, 0))).ravel())
    for ps in (0.0, -0.34, np.inf):  # no usable pixel size
        emit("CUT", [1, 64, 64, ps], img[1][8:72, 18:82].ravel())
    emit("CUT", [2, 64, 64, 0.34], np.zeros(4096))  # wholly outside
    corner = np.pad(img[5][43:80, 58:100], ((0, 27), (0, 22)))  # centre (90, 75)
    emit("CUT", [5, 64, 64, 0.34], corner.ravel())

    # Cutouts that are not square: the left edge is x - w // 2, the top y - h // 2.
    emit("CUT", [0, 40, 24, 0.34], img[0][28:52, 30:70].ravel())  # centre (50, 40)
    emit("CUT", [0, 24, 60, 0.34], img[0][10:70, 38:62].ravel())
    emit("CUT", [0, 25, 9, 0.34], img[0][36:45, 38:63].ravel())  # odd: 12 and 4 before the centre
    emit("CUT", [0, 100, 20, 0.34], img[0][30:50, 0:100].ravel())
    emit("CUT", [0, 10, 80, 0.34], img[0][0:80, 45:55].ravel())
    emit("CUT", [1, 24, 60, 0.34], np.pad(img[1][0:32, 0:14], ((28, 0), (10, 0))).ravel())
    emit("CUT", [1, 60, 24, 0.34], np.pad(img[1][0:14, 0:32], ((10, 0), (28, 0))).ravel())
    emit("CUT", [5, 40, 24, 0.34], np.pad(img[5][63:80, 70:100], ((0, 7), (0, 10))).ravel())
    emit("CUT", [5, 24, 60, 0.34], np.pad(img[5][45:80, 78:100], ((0, 25), (0, 2))).ravel())

    raw = np.random.RandomState(12345).randint(0, 2**32, size=4000, dtype=np.uint64)
    for indices in (list(range(1000)), list(range(1, 1000, 3)), [6]):
        s, n, draws = list(indices), len(indices), iter(int(u) for u in raw)
        for p in range(n - 1):
            m, u = n - p, next(draws)
            while u >= 2**32 - 2**32 % m:
                u = next(draws)
            if u % m:
                s[p], s[p + u % m] = s[p + u % m], s[p]
        sample = sorted(s[:200])
        v = np.sort(np.concatenate([img[i].ravel()[::8] for i in sample]))
        lo, hi = v[int((v.size - 1) * 0.01)], v[int((v.size - 1) * 0.99)]  # floor: both >= 0
        emit("AUTO", [lo, hi if hi > lo else min(lo, 254) + 1], sample, indices)

#!/usr/bin/python3
"""numpy/scipy timings of the work of bench_stats_cores, on its own data.

    /usr/bin/python3 bench/stats_cores_numpy.py summary <file> <n> <lo1> <hi1> <lo2> <hi2> <lo3> <hi3>
        file: the feature column, then the three filter columns (n doubles each).
        Prints the best of three seconds for masks + median (np.median), masks + mean,
        masks + std(ddof=1), masks + cv, masks + IQR (np.partition at n//4 and 3n//4).
    /usr/bin/python3 bench/stats_cores_numpy.py kde <file> <n>
        file: n values. Prints the best of three seconds of scipy.stats.gaussian_kde on
        the 256-point grid of the distribution explorer, with the program's bandwidth.
    /usr/bin/python3 bench/stats_cores_numpy.py export <file> <n> <features> <datasets>
        file: <features> columns of n doubles, then per dataset an int32 count and that
        many int32 shown indices. Prints the best of three seconds of the thirteen
        statistics of every dataset and feature (np.quantile, std(ddof=1), scipy.stats.sem,
        scipy.stats.skew).
All files little-endian.
"""
import sys
import time

import numpy as np
from scipy import stats


def best_of_three(work):
    best = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        work()
        best = min(best, time.perf_counter() - start)
    return best


def summary(path, n, bounds):
    data = np.fromfile(path, dtype="<f8").reshape(4, n)
    feature, rules = data[0], data[1:]

    def shown():
        mask = np.ones(n, dtype=bool)
        for col, (lo, hi) in zip(rules, zip(bounds[0::2], bounds[1::2])):
            mask &= (col >= lo) & (col <= hi)
        v = feature[mask]
        return v[np.isfinite(v)]

    def iqr():
        v = shown()
        k = len(v)
        p = np.partition(v, [k // 4, 3 * k // 4])
        return p[3 * k // 4] - p[k // 4]

    def cv():
        v = shown()
        return v.std(ddof=1) / abs(v.mean())

    works = [lambda: np.median(shown()), lambda: shown().mean(),
             lambda: shown().std(ddof=1), cv, iqr]
    print(" ".join(repr(best_of_three(w)) for w in works))


def kde(path, n):
    v = np.fromfile(path, dtype="<f8", count=n)
    lo, hi = v.min(), v.max()
    r = hi - lo
    start, step = lo - 0.05 * r, 1.1 * r / 255
    s = np.sort(v)
    spread = min(np.std(v), (s[3 * n // 4] - s[n // 4]) / 1.34)
    h = max(0.5 * spread * n ** -0.2, step)
    grid = start + step * np.arange(256)
    print(repr(best_of_three(lambda: stats.gaussian_kde(v, bw_method=h / np.std(v, ddof=1))(grid))))


def export(path, n, features, datasets):
    raw = open(path, "rb").read()
    columns = np.frombuffer(raw, dtype="<f8", count=features * n).reshape(features, n)
    offset, shown = features * n * 8, []
    for _ in range(datasets):
        count = int(np.frombuffer(raw, dtype="<i4", count=1, offset=offset)[0])
        shown.append(np.frombuffer(raw, dtype="<i4", count=count, offset=offset + 4))
        offset += 4 + 4 * count
    def table():
        for idx in shown:
            for col in columns:
                v = col[idx]
                v = v[np.isfinite(v)]
                q = np.quantile(v, [0.5, 0.25, 0.75, 0.95])
                mean, sd = v.mean(), v.std(ddof=1)
                row = [len(v), q[0], q[2] - q[1], q[1], q[2], q[3], mean, sd, stats.sem(v),
                       sd * 100 / abs(mean), v.min(), v.max(), stats.skew(v, bias=True)]
                assert len(row) == 13

    print(repr(best_of_three(table)))


if __name__ == "__main__":
    mode, path, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
    if mode == "summary":
        summary(path, n, [float(b) for b in sys.argv[4:10]])
    elif mode == "kde":
        kde(path, n)
    else:
        export(path, n, int(sys.argv[4]), int(sys.argv[5]))

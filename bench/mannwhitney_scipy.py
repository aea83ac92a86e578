#!/usr/bin/python3
"""scipy's asymptotic Mann-Whitney U on the data of bench_stats, timed.

    /usr/bin/python3 bench/mannwhitney_scipy.py <file> <m> <n>

The file holds m + n little-endian doubles (x then y). Prints the best wall
time of three runs in seconds, then U_x and the p-value.
"""
import sys
import time

import numpy as np
from scipy import stats


def main(path, m, n):
    data = np.fromfile(path, dtype="<f8")
    x, y = data[:m], data[m:m + n]
    best = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        res = stats.mannwhitneyu(x, y, use_continuity=False, alternative="two-sided",
                                 method="asymptotic")
        best = min(best, time.perf_counter() - start)
    print(repr(best), repr(float(res.statistic)), repr(float(res.pvalue)))


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]))

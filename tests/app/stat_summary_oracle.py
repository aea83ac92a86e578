#!/usr/bin/python3
"""Expected rows of the statistical summary table for random data.

    /usr/bin/python3 tests/app/stat_summary_oracle.py <file> <percentile>

<file> holds float64 columns one after another, each preceded by its length
as an int64. Per column one line: the 13 statistics of its finite values in
table order (N, Median, IQR, Q1, Q3, P, Mean, SD, SEM, CV (%), Min, Max,
Skewness), tab-separated, each as '%g' (the table's 6 significant digits):
np.quantile (linear), np.std(ddof=1), scipy.stats.sem,
scipy.stats.skew(bias=True).
"""
import sys

import numpy as np
from scipy import stats


def row(v, percentile):
    v = v[np.isfinite(v)]
    q1, q3 = np.quantile(v, 0.25), np.quantile(v, 0.75)
    mean = np.mean(v)
    sd = np.std(v, ddof=1)
    cells = [len(v), np.median(v), q3 - q1, q1, q3, np.quantile(v, percentile / 100.0), mean,
             sd, stats.sem(v), sd * 100.0 / abs(mean), np.min(v), np.max(v),
             stats.skew(v, bias=True)]
    return "\t".join("%g" % c for c in cells)


def main():
    data = open(sys.argv[1], "rb").read()
    percentile = float(sys.argv[2])
    offset = 0
    while offset < len(data):
        n = int(np.frombuffer(data, dtype=np.int64, count=1, offset=offset)[0])
        offset += 8
        v = np.frombuffer(data, dtype=np.float64, count=n, offset=offset)
        offset += 8 * n
        print(row(v, percentile))


if __name__ == "__main__":
    main()

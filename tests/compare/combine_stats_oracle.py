#!/usr/bin/python3
# Reference values for the "Plot Statistics" table and its TSV export of
# CombinePlotWindowTest.cpp, from numpy 1.24 and h5py on the two measurements
# the test writes into one folder:
#
#     /usr/bin/python3 tests/compare/combine_stats_oracle.py FOLDER
#
# a.rtdc is plotted as area_um / deform, b.rtdc as area_um / bright_avg; the
# table's column groups are therefore area_um, deform, bright_avg. a.rtdc has
# its own range rule 40 <= area_um <= 90 (both ends inclusive); both have a
# group rule on fl1_max, a feature neither has, which takes no part. Events
# with a non-finite x or y value are not shown.
#
# One line per table row: "ROW n | mean sd q1 median q3 iqr (per group)",
# nan where the row's cells stay blank; numpy mean, std(ddof=1), quantile
# (linear, numpy's default). The test compares to 6 significant digits, the
# precision of the table's texts.
import sys

import h5py
import numpy as np


def shown(path, x, y, rule=None):
    with h5py.File(path, "r") as f:
        ev = f["events"]
        n = min(len(ev[x]), len(ev[y]))
        xs, ys = ev[x][:n].astype(float), ev[y][:n].astype(float)
        keep = np.ones(n, bool)
        if rule is not None:
            feature, lo, hi = rule
            v = ev[feature][:n].astype(float)
            keep &= (v >= lo) & ~(v > hi)
    keep &= np.isfinite(xs) & np.isfinite(ys)
    return xs[keep], ys[keep]


def stats(v):
    q1, med, q3 = np.quantile(v, [0.25, 0.5, 0.75])
    return [v.mean(), np.std(v, ddof=1) if v.size > 1 else 0.0, q1, med, q3, q3 - q1]


folder = sys.argv[1]
blank = [float("nan")] * 6
ax, ay = shown(folder + "/a.rtdc", "area_um", "deform", ("area_um", 40.0, 90.0))
bx, by = shown(folder + "/b.rtdc", "area_um", "bright_avg")
for n, groups in ((ax.size, [stats(ax), stats(ay), blank]), (bx.size, [stats(bx), blank, stats(by)])):
    print("ROW", n, "|", " ".join(repr(float(v)) for g in groups for v in g))

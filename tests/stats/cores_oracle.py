#!/usr/bin/python3
# Reference values for StatsCoresTest.cpp from numpy 1.24, scipy 1.10 and
# statsmodels 0.13, on data drawn here from a fixed seed:
#
#     /usr/bin/python3 tests/stats/cores_oracle.py          (the cases below)
#     /usr/bin/python3 tests/stats/cores_oracle.py <file>   (csv.reader of <file>)
#
# Lines "KIND expected | data ...":
#   SUM median mean sd cv iqr | v     np.median, np.mean, np.std(ddof=1) (0 for n < 2),
#                                     sd/|mean| (0 for |mean| < 1e-15), s[3n//4] - s[n//4]
#   STAT percentile | v | 13 values   np.quantile (linear), np.std(ddof=1), scipy.stats.sem,
#                                     scipy.stats.skew(bias=True), in the table's column order
#   HOLM alpha | p | reject           statsmodels multipletests(p, alpha, method='holm')[0]
#   HOLMSTARS alpha | p | stars       the stars of a Holm family as a count (0 for "ns"): a
#                                     rejected test ([0] above) gets 3 when its adjusted p
#                                     (multipletests(p, alpha, method='holm')[1]) is below
#                                     alpha/100, 2 below alpha/10, else 1
#   PMIN | n | p                      math.erfc((n(n+1)/4) / sqrt(n(n+1)(2n+1)/24) / sqrt(2))
#   DENS R step start kde | v | numpy rebuild | kde
#                                     the grid and curve rebuilt with linear binning and
#                                     np.convolve; scipy.stats.gaussian_kde(v,
#                                     bw_method=h/std(v, ddof=1)) on the grid (kde = 1 when given)
#   CSV | cell bytes | ...            one line per row of csv.reader, each cell as UTF-8 bytes
import csv
import math
import sys


def emit(kind, *groups):
    print(kind, " | ".join(" ".join(repr(float(v)) for v in g) for g in groups))


if len(sys.argv) > 1 and sys.argv[1]:
    with open(sys.argv[1], newline="", encoding="utf-8") as f:
        for row in csv.reader(f):
            emit("CSV", *(cell.encode() for cell in row))
    sys.exit(0)

import numpy as np  # noqa: E402 (not needed to read a CSV file back)
from scipy import stats  # noqa: E402
from statsmodels.stats.multitest import multipletests  # noqa: E402

rng = np.random.default_rng(20240917)
# The last set has a negative mean: the coefficient of variation divides by |mean|.
sets = [[1, 2, 3, 4], [1, 2, 3], [5], [-1, 1], rng.normal(3, 2, 1001), rng.gamma(2, 1, 1000),
        [-4.5, -1.0, -2.25, 0.5, -3.0, -7.75]]
for v in map(np.asarray, sets):
    s, n = np.sort(v), len(v)
    sd = np.std(v, ddof=1) if n > 1 else 0.0
    cv = 0.0 if abs(np.mean(v)) < 1e-15 else sd / abs(np.mean(v))
    emit("SUM", [np.median(v), np.mean(v), sd, cv, s[3 * n // 4] - s[n // 4]], v)
    for pct in (95.0, 0.0, 100.0, 33.3):
        q = np.quantile(v, [0.5, 0.25, 0.75, pct / 100])
        sem = stats.sem(v) if n > 1 else 0.0
        skew = stats.skew(v, bias=True) if n > 2 and np.var(v) > 0 else 0.0
        cvp = sd * 100 / abs(np.mean(v)) if n > 1 and np.mean(v) != 0 else 0.0
        emit("STAT", [pct], v, [n, q[0], q[2] - q[1], q[1], q[2], q[3], np.mean(v), sd, sem,
                                cvp, v.min(), v.max(), skew])

families = [[0.01, 0.04, 0.03, 0.005]] + [rng.uniform(0, 1, m) ** rng.uniform(1, 8)
                                          for m in range(2, 26)]
for p in families:
    emit("HOLM", [0.05], p, multipletests(p, 0.05, method="holm")[0])


def holm_stars(p, alpha):
    reject, adjusted = multipletests(p, alpha, method="holm")[:2]
    stars = [0 if not r else 3 if a < alpha / 100 else 2 if a < alpha / 10 else 1
             for r, a in zip(reject, adjusted)]
    emit("HOLMSTARS", [alpha], p, stars)


# Ties and a larger p next to a smaller one, where stars of the per-rank
# thresholds would differ ("*" and "**" for two p-values of 0.0052 at 0.1);
# then families with many ties: p rounded to three decimals, lifted off the
# round values so that no adjusted p meets a star level exactly.
for alpha, p in ((0.1, [0.0052, 0.0052]), (0.1, [0.009, 0.006]),
                 (0.05, [0.0052, 0.0001, 0.0052, 0.2, 0.00011]),
                 (0.05, [0.0004, 0.0004, 0.0004, 0.0004])):
    holm_stars(np.array(p), alpha)
tie_rng = np.random.default_rng(20260226)  # its own stream: the other sets stay as they were
for m in range(2, 31):
    p = np.round(tie_rng.uniform(0, 1, m) ** tie_rng.uniform(2, 10), 3) + 3.1e-7
    holm_stars(p, [0.05, 0.1, 0.01][m % 3])

ns = np.arange(1, 11)
emit("PMIN", ns, [math.erfc((n * (n + 1) / 4) / math.sqrt(n * (n + 1) * (2 * n + 1) / 24)
                            / math.sqrt(2)) for n in ns])


def density(v, smooth=True):
    lo, hi = v.min(), v.max()
    hi = hi if hi > lo else lo + 1
    r = hi - lo
    start = lo - 0.05 * r
    step = ((hi + 0.05 * r) - start) / 255
    n, s = len(v), np.sort(v)
    spread = min(np.std(v), (s[3 * n // 4] - s[n // 4]) / 1.34)
    spread = spread if spread >= 1e-15 else np.std(v)
    spread = spread if spread >= 1e-15 else 0.01 * r
    h = max(0.5 * spread * n ** -0.2, step)
    t = (v - start) / step
    i = t.astype(int)
    bins, inner = np.zeros(256), i < 255
    np.add.at(bins, i[inner], 1 - (t - i)[inner])
    np.add.at(bins, i[inner] + 1, (t - i)[inner])
    bins[255] += np.count_nonzero(~inner)
    m = max(math.ceil(4 * h / step), 1)
    w = np.exp(-0.5 * ((np.arange(2 * m + 1) - m) * step / h) ** 2)
    d = np.convolve(bins, w / w.sum())[m:m + 256]
    grid = start + step * np.arange(256)
    # The kde cannot take equal values, and a small sample's kernels reach
    # well past the grid, on which our curve alone is normalised.
    fit = smooth and np.ptp(v) > 0 and n >= 1000
    kde = stats.gaussian_kde(v, bw_method=h / np.std(v, ddof=1))(grid) if fit else []
    emit("DENS", [r, step, start, fit], v, d / (d.sum() * step), kde)


for v in (rng.normal(0, 1, 5000), np.r_[rng.normal(-2, 0.5, 2000), rng.normal(3, 1, 1000)],
          rng.lognormal(0, 0.6, 2000), rng.normal(5, 2, 20), np.array([4.0]),
          np.full(7, -2.5)):
    density(v)
# Quartiles among many ties, and under one far outlier that leaves nearly
# every value in the first of the quartile search's buckets (its own stream);
# neither is a smooth density, so only the numpy rebuild is compared.
quartile_rng = np.random.default_rng(20261207)
for v in (np.round(quartile_rng.normal(0, 1, 3001), 1),
          np.r_[quartile_rng.lognormal(0, 1, 4000), 5e4]):
    density(v, smooth=False)

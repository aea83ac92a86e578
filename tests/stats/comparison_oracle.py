#!/usr/bin/python3
# Reference p-values for ComparisonRunTest.cpp from scipy 1.10 and statsmodels
# 0.13, on tie-free data drawn here from a fixed seed:
#
#     /usr/bin/python3 tests/stats/comparison_oracle.py
#
# Each line "KIND alpha | p_omnibus p_pair.. | reject.. | category 1 | category 2 ..."
# holds one feature's per-dataset values of C categories (dataset i of every
# category has subject ID i + 1 in the matched kinds):
#   IND2  scipy.stats.mannwhitneyu(c1, c2, use_continuity=False, method='asymptotic')
#   IND3  scipy.stats.kruskal(*c), then mannwhitneyu (as above) for every pair i < j
#   MAT2  scipy.stats.wilcoxon(c2 - c1, zero_method='wilcox', correction=False,
#         method='approx')
#   MAT3  Friedman: Q from the ranks within each subject, p = scipy.stats.chi2.sf(Q, C - 1);
#         then wilcoxon (as above) of c_j - c_i for every pair i < j
# reject: statsmodels.stats.multitest.multipletests(family, alpha, method='holm')[0],
# the family being the pairwise p-values (C > 2) or the one omnibus p-value.
# Tie-free data: the program's rank tests carry no tie correction, scipy's do.
import warnings

import numpy as np
from scipy import stats
from statsmodels.stats.multitest import multipletests

warnings.simplefilter("ignore")
rng = np.random.default_rng(20261207)


def emit(kind, *groups):
    print(kind, " | ".join(" ".join(repr(float(v)) for v in g) for g in groups))


def friedman(groups):
    data = np.array(groups).T  # subjects x treatments
    n, k = data.shape
    ranks = np.apply_along_axis(stats.rankdata, 1, data)
    q = 12.0 / (n * k * (k + 1)) * np.sum(ranks.sum(axis=0) ** 2) - 3.0 * n * (k + 1)
    return stats.chi2.sf(q, k - 1)


def wilcoxon(d):
    return stats.wilcoxon(d, zero_method="wilcox", correction=False, method="approx").pvalue


def mwu(x, y):
    return stats.mannwhitneyu(x, y, use_continuity=False, method="asymptotic").pvalue


for case in range(24):
    kind = ["IND2", "IND3", "MAT2", "MAT3"][case % 4]
    c = 2 if kind.endswith("2") else 3 + case % 3
    n = int(rng.integers(5, 14))
    shift = rng.uniform(0, 2.5, c)
    groups = [rng.normal(10 + s, 1.0, n) for s in shift]
    if kind.startswith("MAT"):
        base = rng.normal(0, 3, n)  # a subject effect shared by every category
        groups = [g + base for g in groups]
    alpha = [0.05, 0.1, 0.01][case % 3]
    pairs = [(i, j) for i in range(c) for j in range(i + 1, c)]
    if kind == "IND2":
        omnibus, pair_p = mwu(*groups), []
    elif kind == "IND3":
        omnibus = stats.kruskal(*groups).pvalue
        pair_p = [mwu(groups[i], groups[j]) for i, j in pairs]
    elif kind == "MAT2":
        omnibus, pair_p = wilcoxon(groups[1] - groups[0]), []
    else:
        omnibus = friedman(groups)
        pair_p = [wilcoxon(groups[j] - groups[i]) for i, j in pairs]
    family = pair_p if pair_p else [omnibus]
    reject = multipletests(family, alpha, method="holm")[0] if len(family) > 1 else \
        [family[0] < alpha]
    emit(kind, [alpha], [omnibus] + pair_p, reject, *groups)

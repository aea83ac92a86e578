#!/usr/bin/python3
# Reference values for StatsKernelsTest.cpp from scipy 1.10 and sklearn 1.2,
# on data drawn here from a fixed seed:
#
#     /usr/bin/python3 tests/stats/stats_oracle.py
#
# Each output line is "KIND expected | data | data ...":
#   MWU U p | x | y        scipy.stats.mannwhitneyu(method='asymptotic', use_continuity=False),
#                          U = min(U_x, U_y)
#   WSR W p | d            scipy.stats.wilcoxon(zero_method='wilcox', correction=False,
#                          method='approx')
#   KW H p | g1 | g2 ..    scipy.stats.kruskal
#   FR Q p | g1 | g2 ..    scipy.stats.friedmanchisquare (one group per treatment)
#   LNG x.. | gammaln(x)..            scipy.special.gammaln
#   IGQ a.. | x.. | Q(a, x)..         scipy.special.gammaincc
#   ROC flip auc best | neg | pos | fpr | tpr | thresholds
#                          sklearn.metrics.roc_curve(drop_intermediate=False) (sklearn 1.2
#                          starts at max + 1) and roc_auc_score; when the AUC is below 0.5
#                          the curve of the negated scores, thresholds negated back (flip 1);
#                          best is numpy's argmax of TP * nNeg - FP * nPos, Youden's J in
#                          integers (the first of equal maxima)
#   LDA auc w_1..w_k | neg feature 1 .. k | pos feature 1 .. k
#                          LinearDiscriminantAnalysis(solver='lsqr'): with the class
#                          frequencies as priors its covariance is the pooled scatter over
#                          the sample count N, so coef_ / N solves scatter * w = mean
#                          difference; auc of the samples projected on coef_, folded to >= 0.5
#
# Odd rounds add non-finite values (to every sample; for Friedman a block
# with a NaN) that the program must drop before ranking; the references are
# of the data without them.
#
# The program's rank tests have no tie correction, scipy's do. Half the data
# lie on a coarse grid (ties); there the correction is undone: the statistic
# or the normal deviate is scaled back by scipy's tie factor and the p-value
# taken again from scipy's own distribution. Without ties the factor is 1.
import warnings

import numpy as np
from scipy import special, stats
from sklearn.discriminant_analysis import LinearDiscriminantAnalysis
from sklearn.metrics import roc_auc_score, roc_curve

warnings.simplefilter("ignore")
rng = np.random.default_rng(20240611)


def emit(kind, *groups):
    print(kind, " | ".join(" ".join(repr(float(v)) for v in g) for g in groups))


def tie_term(values):  # sum of t^3 - t over groups of t equal values
    t = np.unique(values, return_counts=True)[1].astype(float)
    return np.sum(t ** 3 - t)


def draw(n, shift, ties):
    v = rng.normal(shift, 1.0, n)
    return np.round(v * 2) / 2 if ties else v


def dirty(v, r):
    return np.r_[np.nan, v, np.inf, -np.inf] if r % 2 else v


def untied_p(p, factor):  # two-sided normal p with the deviate scaled by sqrt(factor)
    return 2 * stats.norm.sf(stats.norm.isf(p / 2) * np.sqrt(factor))


for ties in (False, True):
    for r in range(12):
        x, y = draw(3 + 5 * r, 0, ties), draw(4 + r % 4 * 9, 0.15 * r, ties)
        u, p = stats.mannwhitneyu(x, y, use_continuity=False, method="asymptotic")
        n = len(x) + len(y)
        p = untied_p(p, 1 - tie_term(np.r_[x, y]) / (n ** 3 - n))
        emit("MWU", [min(u, len(x) * len(y) - u), p], dirty(x, r), dirty(y, r))

        d = draw(7 + 4 * r, 0.1 * r, ties)
        d[0] = 0.0 if ties else d[0]  # a zero difference takes no part
        w, p = stats.wilcoxon(d, zero_method="wilcox", correction=False, method="approx")
        n = np.count_nonzero(d)
        p = untied_p(p, 1 - tie_term(np.abs(d[d != 0])) / (2 * n * (n + 1) * (2 * n + 1)))
        emit("WSR", [w, p], dirty(d, r))

        groups = [draw(3 + (3 * g + r) % 10, 0.05 * g * r, ties) for g in range(2 + r % 4)]
        pool = np.concatenate(groups)
        h = stats.kruskal(*groups)[0] * (1 - tie_term(pool) / (len(pool) ** 3 - len(pool)))
        emit("KW", [h, stats.chi2.sf(h, len(groups) - 1)], *(dirty(g, r) for g in groups))

        k, n = 3 + r % 3, 3 + 2 * r  # scipy needs three treatments
        groups = [draw(n, 0.1 * g * r, ties) for g in range(k)]
        t = sum(tie_term(block) for block in np.array(groups).T)
        q = stats.friedmanchisquare(*groups)[0] * (1 - t / (k * (k * k - 1) * n))
        if r % 2:
            groups = [np.r_[g, np.nan if j == 1 else 0.5] for j, g in enumerate(groups)]
        emit("FR", [q, stats.chi2.sf(q, k - 1)], *groups)

x = np.array([0.05, 0.3, 0.5, 1.0, 1.5, 2.0, 3.7, 5.0, 10.0, 42.5, 100.0, 1234.5])
emit("LNG", x, special.gammaln(x))
# Both branches: the series below a + 1, the continued fraction above.
a, x = (v.ravel() for v in np.meshgrid([0.5, 1, 1.5, 2.5, 4, 10], [0.01, 0.4, 1, 2.2, 6, 30]))
emit("IGQ", a, x, special.gammaincc(a, x))

for r in range(24):
    ties = r % 2 == 1  # shifts of both signs, so about half the curves flip
    neg, pos = draw(3 + r % 9, 0, ties), draw(3 + 5 * r % 11, (r % 3 - 1) * 0.8 + 0.05 * r, ties)
    labels, scores = np.r_[np.zeros(len(neg)), np.ones(len(pos))], np.r_[neg, pos]
    flip = roc_auc_score(labels, scores) < 0.5
    scores = -scores if flip else scores
    fpr, tpr, thr = roc_curve(labels, scores, drop_intermediate=False)
    # Youden's J in exact integers, TP * nNeg - FP * nPos: in doubles equal
    # J can differ in the last bit and argmax would pick the later point.
    tp, fp = np.rint(tpr * len(pos)).astype(int), np.rint(fpr * len(neg)).astype(int)
    head = [flip, roc_auc_score(labels, scores), np.argmax(tp * len(neg) - fp * len(pos))]
    emit("ROC", head, dirty(neg, r), dirty(pos, r), fpr, tpr, -thr if flip else thr)

for r in range(12):
    k = 2 + r % 3
    scale, shift = np.arange(1, k + 1), np.where(np.arange(k) % 2, -0.6, 0.9)
    # Correlated features of different scales; the positives shifted.
    neg, pos = (scale * (rng.normal(size=(n, 1)) + 0.7 * rng.normal(size=(n, k))) + s
                for n, s in ((6 + 3 * r, 0.0), (5 + 7 * r % 17, shift)))
    samples, labels = np.r_[neg, pos], np.r_[np.zeros(len(neg)), np.ones(len(pos))]
    coef = LinearDiscriminantAnalysis(solver="lsqr").fit(samples, labels).coef_[0]
    auc = roc_auc_score(labels, samples @ coef)
    emit("LDA", [max(auc, 1 - auc), *coef / len(labels)], *neg.T, *pos.T)

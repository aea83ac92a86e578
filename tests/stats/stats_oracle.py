#!/usr/bin/python3
"""Reference values for test_nonparametric_tests.cpp from scipy.

    /usr/bin/python3 tests/stats/stats_oracle.py <input file>

Each input line is one case; each output line answers it:
    MWU m n x_1..x_m y_1..y_n  -> U p      scipy.stats.mannwhitneyu(method='asymptotic',
                                           use_continuity=False); U = min(U_x, U_y)
    WSR n d_1..d_n             -> W p      scipy.stats.wilcoxon(zero_method='wilcox',
                                           correction=False, method='approx')
    KW k n_1..n_k values       -> H p      scipy.stats.kruskal
    FR k n values (by group)   -> Q p      scipy.stats.friedmanchisquare
    LNG x                      -> ln Gamma(x)   scipy.special.gammaln
    IGQ a x                    -> Q(a, x)       scipy.special.gammaincc
    CHI x df                   -> P(X > x)      scipy.stats.chi2.sf

scipy corrects the rank tests for ties; the program does not. With ties the
correction is undone: the tie factor of scipy's formula is computed from the
tie counts and the statistic (or the normal deviate) scaled back by it, the
p-value then taken from scipy's own distributions. Without ties nothing is
undone and scipy's numbers are printed as they are.
"""
import sys
import warnings

import numpy as np
from scipy import special, stats

warnings.simplefilter("ignore")


def tie_term(values):
    """sum of t^3 - t over the groups of equal values."""
    _, counts = np.unique(np.asarray(values, dtype=float), return_counts=True)
    counts = counts.astype(float)
    return float(np.sum(counts ** 3 - counts))


def mann_whitney(x, y):
    m, n = len(x), len(y)
    res = stats.mannwhitneyu(x, y, use_continuity=False, alternative="two-sided",
                             method="asymptotic")
    u = min(res.statistic, m * n - res.statistic)
    p = res.pvalue
    t = tie_term(np.concatenate([x, y]))
    if t > 0:
        big_n = m + n
        sd_ties = np.sqrt(m * n / 12.0 * ((big_n + 1) - t / (big_n * (big_n - 1))))
        sd_plain = np.sqrt(m * n * (big_n + 1) / 12.0)
        z = stats.norm.isf(p / 2.0) * sd_ties / sd_plain
        p = 2.0 * stats.norm.sf(z)
    return u, p


def wilcoxon(d):
    res = stats.wilcoxon(d, zero_method="wilcox", correction=False, method="approx")
    kept = np.abs(d[d != 0])
    n = len(kept)
    p = res.pvalue
    t = tie_term(kept)
    if t > 0:
        var_plain = n * (n + 1) * (2 * n + 1)
        var_ties = var_plain - 0.5 * t
        z = stats.norm.isf(p / 2.0) * np.sqrt(var_ties / var_plain)
        p = 2.0 * stats.norm.sf(z)
    return res.statistic, p


def kruskal(groups):
    h, p = stats.kruskal(*groups)
    pool = np.concatenate(groups)
    big_n = len(pool)
    factor = 1.0 - tie_term(pool) / (big_n ** 3 - big_n)
    if factor < 1.0:
        h = h * factor
        p = stats.chi2.sf(h, len(groups) - 1)
    return h, p


def friedman(groups):
    q, p = stats.friedmanchisquare(*groups)
    k, n = len(groups), len(groups[0])
    t = sum(tie_term([g[i] for g in groups]) for i in range(n))
    factor = 1.0 - t / (k * (k * k - 1) * n)
    if factor < 1.0:
        q = q * factor
        p = stats.chi2.sf(q, k - 1)
    return q, p


def main(path):
    out = []
    with open(path) as f:
        for line in f:
            w = line.split()
            if not w:
                continue
            kind, v = w[0], [float(s) for s in w[1:]]
            if kind == "MWU":
                m, n = int(v[0]), int(v[1])
                r = mann_whitney(np.array(v[2:2 + m]), np.array(v[2 + m:2 + m + n]))
            elif kind == "WSR":
                n = int(v[0])
                r = wilcoxon(np.array(v[1:1 + n]))
            elif kind == "KW":
                k = int(v[0])
                sizes = [int(s) for s in v[1:1 + k]]
                values, groups, at = v[1 + k:], [], 0
                for s in sizes:
                    groups.append(np.array(values[at:at + s]))
                    at += s
                r = kruskal(groups)
            elif kind == "FR":
                k, n = int(v[0]), int(v[1])
                r = friedman([np.array(v[2 + j * n:2 + (j + 1) * n]) for j in range(k)])
            elif kind == "LNG":
                r = (special.gammaln(v[0]),)
            elif kind == "IGQ":
                r = (special.gammaincc(v[0], v[1]),)
            elif kind == "CHI":
                r = (stats.chi2.sf(v[0], v[1]),)
            else:
                raise SystemExit("unknown case " + kind)
            out.append(" ".join(repr(float(x)) for x in r))
    print("\n".join(out))


if __name__ == "__main__":
    main(sys.argv[1])

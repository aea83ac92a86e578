#!/usr/bin/python3
"""Reference values for test_roc_analysis.cpp from sklearn 1.2.

    /usr/bin/python3 tests/stats/roc_oracle.py <input file>

Input lines:
    ROC nneg npos neg_1.. pos_1..
        -> "FLIP f AUC a OPT i" then lines "FPR ..", "TPR ..", "THR ..":
           sklearn.metrics.roc_curve(labels, scores, drop_intermediate=False)
           (sklearn 1.2 starts at threshold max + 1) and roc_auc_score. When the
           AUC is below 0.5 the curve of the negated scores is given, its
           thresholds negated back (f = 1). OPT is numpy's argmax of tpr - fpr
           (the first of equal maxima).
    LDA k nneg npos neg (feature-major: k rows of nneg) pos (k rows of npos)
        -> "W w_1..w_k AUC a": LinearDiscriminantAnalysis(solver='lsqr') fitted on
           the samples; with the default priors (class frequencies) its
           covariance is the pooled scatter divided by the sample count N, so
           coef_ / N solves scatter * w = mean(pos) - mean(neg). AUC is
           roc_auc_score of the samples projected on coef_, folded to >= 0.5.
"""
import sys
import warnings

import numpy as np
from sklearn.discriminant_analysis import LinearDiscriminantAnalysis
from sklearn.metrics import roc_auc_score, roc_curve

warnings.simplefilter("ignore")


def fmt(values):
    return " ".join(repr(float(x)) for x in values)


def roc(neg, pos):
    labels = np.concatenate([np.zeros(len(neg)), np.ones(len(pos))])
    scores = np.concatenate([neg, pos])
    auc = roc_auc_score(labels, scores)
    flip = auc < 0.5
    if flip:
        scores = -scores
        auc = roc_auc_score(labels, scores)
    fpr, tpr, thr = roc_curve(labels, scores, drop_intermediate=False)
    if flip:
        thr = -thr
    best = int(np.argmax(tpr - fpr))
    return ["FLIP %d AUC %r OPT %d" % (int(flip), float(auc), best),
            "FPR " + fmt(fpr), "TPR " + fmt(tpr), "THR " + fmt(thr)]


def lda(k, neg, pos):
    x = np.vstack([neg.T, pos.T])
    y = np.concatenate([np.zeros(neg.shape[1]), np.ones(pos.shape[1])])
    model = LinearDiscriminantAnalysis(solver="lsqr").fit(x, y)
    coef = model.coef_[0]
    auc = roc_auc_score(y, x @ coef)
    return ["W " + fmt(coef / len(y)) + " AUC %r" % float(max(auc, 1.0 - auc))]


def main(path):
    out = []
    with open(path) as f:
        for line in f:
            w = line.split()
            if not w:
                continue
            if w[0] == "ROC":
                nneg, npos = int(w[1]), int(w[2])
                v = np.array([float(s) for s in w[3:]])
                out += roc(v[:nneg], v[nneg:nneg + npos])
            elif w[0] == "LDA":
                k, nneg, npos = int(w[1]), int(w[2]), int(w[3])
                v = np.array([float(s) for s in w[4:]])
                neg = v[:k * nneg].reshape(k, nneg)
                pos = v[k * nneg:k * nneg + k * npos].reshape(k, npos)
                out += lda(k, neg, pos)
            else:
                raise SystemExit("unknown case " + w[0])
    print("\n".join(out))


if __name__ == "__main__":
    main(sys.argv[1])

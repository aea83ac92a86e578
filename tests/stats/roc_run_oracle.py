#!/usr/bin/python3
# Reference runs of the ROC tab for RocRunTest.cpp, from numpy 1.24 and
# sklearn 1.2, on classes drawn here from a fixed seed:
#
#     /usr/bin/python3 tests/stats/roc_run_oracle.py
#
# Each case is a "RUN" line followed by its expectations:
#   RUN replicates rms k nNeg nPos | neg ids | neg bio reps | neg values (entry-major,
#       k per entry, nan = the dataset has no value) | pos ids | pos bio reps | pos values
#   ERR nNeg nPos                     too few samples of the first feature (counted after
#                                     missing values leave and replicates are aggregated)
#   FEAT flip auc best nNeg nPos | fpr | tpr | thresholds
#                                     per feature: sklearn.metrics.roc_curve(y, s,
#                                     drop_intermediate=False) on the samples that have a
#                                     value (1.2 starts at max + 1), roc_auc_score; flipped
#                                     (negated scores, thresholds negated back) when the AUC
#                                     is below 0.5; best = the first point with the
#                                     largest TP * nNeg - FP * nPos
#   LDA auc nNeg nPos | weights       k >= 2: LinearDiscriminantAnalysis(solver='lsqr')
#                                     .coef_[0] / N on the samples with every feature (the
#                                     same datasets, or IDs, across features); auc of the
#                                     projection, folded to >= 0.5
# Replicates: the values of one ID are averaged (mean, or root mean square with rms) first
# within each biological replicate when any entry of the class has one above 0, then per ID;
# otherwise per ID at once. One sample per ID, ascending.
import numpy as np
from sklearn.discriminant_analysis import LinearDiscriminantAnalysis
from sklearn.metrics import roc_auc_score, roc_curve


def emit(kind, *groups):
    print(kind, " | ".join(" ".join(repr(float(v)) for v in g) for g in groups))


def reduce(values, rms):
    values = np.asarray(values)
    if len(values) == 1:
        return values[0]
    return np.sqrt(np.mean(values ** 2)) if rms else np.mean(values)


def samples(ids, bio, col, replicates, rms):
    """{key: value} of one feature; key = entry index, or ID with replicates."""
    have = ~np.isnan(col)
    if not replicates:
        return {i: col[i] for i in np.flatnonzero(have)}
    two_level = np.any(bio > 0)
    out = {}
    for subject in sorted(set(ids[have])):
        rows = have & (ids == subject)
        if two_level:
            reps = [reduce(col[rows & (bio == b)], rms) for b in sorted(set(bio[rows]))]
        else:
            reps = list(col[rows])
        out[subject] = reduce(reps, rms)
    return out


def curve(neg, pos):
    labels, scores = np.r_[np.zeros(len(neg)), np.ones(len(pos))], np.r_[neg, pos]
    flip = roc_auc_score(labels, scores) < 0.5
    scores = -scores if flip else scores
    fpr, tpr, thr = roc_curve(labels, scores, drop_intermediate=False)
    # Youden's J in integers, TP * nNeg - FP * nPos: equal J in doubles can
    # differ in the last bit, and argmax would then pick the later point.
    tp, fp = np.rint(tpr * len(pos)).astype(int), np.rint(fpr * len(neg)).astype(int)
    best = np.argmax(tp * len(neg) - fp * len(pos))
    return [flip, roc_auc_score(labels, scores), best, len(neg), len(pos)], \
        fpr, tpr, -thr if flip else thr


rng = np.random.default_rng(20261207)
for case in range(40):
    k = 1 + case % 3
    replicates, rms = case % 2 == 1, case % 4 == 3
    classes = []
    for shift in (0.0, 0.9 * (1 if case % 5 else -1)):
        n = int(rng.integers(3, 13))
        ids = rng.integers(1, 6, n) if replicates else np.arange(1, n + 1)
        # Some classes have no biological replicate numbers (all 0, or 0 and -1: one level).
        bio = rng.integers(0, 3, n) if case % 3 else rng.integers(-1, 1, n)
        values = rng.normal(shift, 1.0, (n, k)) + np.arange(k)
        if case % 4 == 2:
            values = np.round(values, 1)  # ties
        if rms:
            values = np.abs(values)
        values[rng.uniform(size=(n, k)) < 0.15] = np.nan
        classes.append((ids, bio, values))
    head = [replicates, rms, k, len(classes[0][0]), len(classes[1][0])]
    emit("RUN", head, *(g.ravel() for c in classes for g in c))

    per = [[samples(ids, bio, values[:, f], replicates, rms) for f in range(k)]
           for ids, bio, values in classes]
    counts = [len(per[c][0]) for c in (0, 1)]
    if min(counts) < 3:
        emit("ERR", counts)
        continue
    for f in range(k):
        neg, pos = (np.array(list(per[c][f].values())) for c in (0, 1))
        if len(neg) == 0 or len(pos) == 0:
            emit("FEAT", [-1, 0.5, 0, len(neg), len(pos)], [], [], [])
            continue
        emit("FEAT", *curve(neg, pos))
    if k >= 2:
        complete = []
        for c in (0, 1):
            keys = sorted(set.intersection(*(set(per[c][f]) for f in range(k))))
            complete.append(np.array([[per[c][f][key] for f in range(k)] for key in keys]))
        neg, pos = complete
        if min(len(neg), len(pos)) < 2:
            emit("LDA", [-1, len(neg), len(pos)], [])
            continue
        data, labels = np.r_[neg, pos], np.r_[np.zeros(len(neg)), np.ones(len(pos))]
        coef = LinearDiscriminantAnalysis(solver="lsqr").fit(data, labels).coef_[0]
        auc = roc_auc_score(labels, data @ coef)
        emit("LDA", [max(auc, 1 - auc), len(neg), len(pos)], coef / len(labels))

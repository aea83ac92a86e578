#!/usr/bin/python3
"""Checks an exported ROC curve data block against scikit-learn.

    /usr/bin/python3 tests/stats/roc_data_oracle.py <file> <separator> <negatives> <positives>

<negatives>, <positives>: comma-separated values of the two classes. The file
must hold exactly one block: "# <label>", "FPR<sep>TPR<sep>Threshold", one
line per curve point as '%g' of sklearn.metrics.roc_curve(y, s,
drop_intermediate=False) (sklearn 1.2: the first threshold is max + 1), and
an empty line. Prints "ok", or what differs and exits 1.
"""
import sys

from sklearn.metrics import roc_curve


def main():
    path, sep = sys.argv[1], {"tab": "\t", "comma": ","}[sys.argv[2]]
    neg = [float(x) for x in sys.argv[3].split(",")]
    pos = [float(x) for x in sys.argv[4].split(",")]
    fpr, tpr, thr = roc_curve([0] * len(neg) + [1] * len(pos), neg + pos,
                              drop_intermediate=False)
    lines = open(path, encoding="utf-8", newline="").read().split("\n")
    expected = [sep.join(["FPR", "TPR", "Threshold"])]
    expected += [sep.join("%g" % v for v in row) for row in zip(fpr, tpr, thr)]
    got = lines[1:1 + len(expected)]
    rest = lines[1 + len(expected):]
    if not lines[0].startswith("# ") or got != expected or rest != ["", ""]:
        print("expected", expected, "got", lines)
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())

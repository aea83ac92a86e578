#!/usr/bin/python3
"""Checks a TSV export against its source with h5py and numpy.

usage: tsv_oracle.py SOURCE TSV --features a,b,c --indices 0,2,3

Each data cell must be the string '%.17g' % v of the h5py value v (read as
float64) of that feature at that event ("nan" for NaN), or empty when the
event lies beyond the feature's column (or the feature is missing); numpy's
genfromtxt must read the same numbers (NaN for empty cells). The file must
be UTF-8, with comment lines first, then one heading line and one line per
exported event. Prints OK and exits 0, else lists mismatches on stderr.
"""
import argparse
import io
import sys

import h5py
import numpy as np


def expected_cell(column, index):
    if column is None or index >= len(column):
        return ""
    return "%.17g" % column[index]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("tsv")
    parser.add_argument("--features", default="")
    parser.add_argument("--indices", default="")
    args = parser.parse_args()
    features = [f for f in args.features.split(",") if f]
    idx = [int(i) for i in args.indices.split(",") if i]

    problems = []
    with open(args.tsv, "rb") as handle:
        text = handle.read().decode("utf-8")
    lines = text.split("\n")
    if lines[-1] != "":
        problems.append("the file does not end with a line feed")
    lines = lines[:-1]
    comments = 0
    while comments < len(lines) and lines[comments].startswith("#"):
        comments += 1
    body = lines[comments + 1:]
    if len(body) != len(idx):
        problems.append(f"{len(body)} data lines instead of {len(idx)}")

    with h5py.File(args.source, "r") as src:
        columns = [src["events"][f][:].astype(np.float64) if f in src["events"] else None
                   for f in features]
    expected = np.full((len(idx), len(features)), np.nan)
    for row, (line, event) in enumerate(zip(body, idx)):
        cells = line.split("\t")
        if len(cells) != max(len(features), 1):
            problems.append(f"line {row}: {len(cells)} cells")
            continue
        for c, column in enumerate(columns):
            want = expected_cell(column, event)
            if cells[c] != want:
                problems.append(f"line {row} column {c}: {cells[c]!r} instead of {want!r}")
            if want:
                expected[row, c] = float(want)

    if features and body:
        parsed = np.genfromtxt(io.StringIO("\n".join(body) + "\n"), delimiter="\t",
                               dtype=np.float64, missing_values="", filling_values=np.nan)
        parsed = parsed.reshape(len(body), len(features))
        if not np.array_equal(parsed, expected, equal_nan=True):
            problems.append(f"numpy reads {parsed} instead of {expected}")

    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    print("OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())

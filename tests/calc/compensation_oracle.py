#!/usr/bin/python3
"""Crosstalk compensation by solving the spillover system with numpy.

Usage: /usr/bin/python3 compensation_oracle.py MATRIX INPUTS

MATRIX holds the n x n spillover matrix S (row and column k belong to the
k-th listed channel), INPUTS one row of n measured peak heights per event.
The compensated heights x of an event solve S x = measured
(numpy.linalg.solve, LAPACK gesv). Prints one row of n repr'd values per
event.
"""
import sys

import numpy as np


def main():
    spillover = np.loadtxt(sys.argv[1], ndmin=2)
    measured = np.loadtxt(sys.argv[2], ndmin=2)
    solved = np.linalg.solve(spillover, measured.T).T
    for row in solved:
        print(" ".join(repr(float(v)) for v in row))


if __name__ == "__main__":
    main()

#!/usr/bin/python3
# Reference values of the derived-feature tests, from numpy and scipy.
#
# Usage: /usr/bin/python3 emodulus_fl_oracle.py MODE FILE...   (prints repr'd floats)
#   lut TABLE QUERIES    TABLE rows "area deform modulus", QUERIES rows "area deform". Both axes
#                        normalised to [0, 1] by the table's extremes, as the program does; scipy's
#                        LinearNDInterpolator (Qhull Delaunay, nan outside the hull).
#   viscosity CASES      rows "medium T width flow" (Celsius, um, uL/s): per row Herold 2017,
#                        Kestin 1978 and Buyukurganci 2022 in mPa s, numpy transcriptions.
#   solve MATRIX INPUTS  numpy.linalg.solve(S, measured) for every row of measured heights, the
#                        n x n matrix S given row after row.
import sys

import numpy as np
from scipy.interpolate import LinearNDInterpolator


def lut(table, queries):
    low, high = table[:, :2].min(axis=0), table[:, :2].max(axis=0)
    return LinearNDInterpolator((table[:, :2] - low) / (high - low), table[:, 2])((queries - low) / (high - low))


def viscosity(cases):
    values = []
    for medium, t, width, flow in cases:
        shear = 2.0 * (7.1136 * flow * 1e-9) / np.power(width * 1e-6, 3.0) / 3.0
        c, t0, k, e = (0.179, 23.2, 1.6707050335189184, 0.677 - 1) if medium == 0 else (0.36, 23.6, 1.706549572791479, -0.366)
        herold = np.power(t / t0, -0.866) * c * np.power(k * shear, e)
        delta = 20.0 - t
        kestin = 1.002 * np.power(10.0, delta / (t + 96.0) * (1.2364 - 0.00137 * delta + 5.7e-6 * delta**2))
        kelvin = t + 273.15
        a, b = {0: (2.3e-6, -0.0056), 3: (1.652e-5, -0.1455)}.get(int(medium), (5.7e-6, -0.0744))
        n = 0.00223 * kelvin + b
        shear = 8.0 * flow / np.power(width * 0.001, 3.0) * (0.2121 / n + 0.6671)
        values += [herold * 1000, kestin, a * np.exp(3379.7 / kelvin) * np.power(shear, n - 1) * 1000]
    return values


def solve(matrix, measured):
    return np.linalg.solve(matrix.reshape(measured.shape[1], -1), measured.T).T.ravel()


inputs = [np.loadtxt(name, ndmin=2) for name in sys.argv[2:]]
print(" ".join(repr(float(v)) for v in {"lut": lut, "viscosity": viscosity, "solve": solve}[sys.argv[1]](*inputs)))

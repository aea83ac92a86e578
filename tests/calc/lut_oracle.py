#!/usr/bin/python3
"""Linear interpolation in a scattered look-up table, done by scipy.

Usage: /usr/bin/python3 lut_oracle.py TABLE QUERIES

TABLE holds rows "area deform modulus", QUERIES rows "area deform". Both
axes are normalised to [0, 1] by the table's extremes, as the program does,
so the Delaunay triangulation is that of the normalised points; scipy's
LinearNDInterpolator (Qhull) then interpolates barycentrically and gives nan
outside the convex hull. Prints per query line the repr'd value and the
circumradius (normalised units) of the Delaunay triangle holding the query
(nan outside the hull).
"""
import sys

import numpy as np
from scipy.interpolate import LinearNDInterpolator


def main():
    table = np.loadtxt(sys.argv[1], ndmin=2)
    queries = np.loadtxt(sys.argv[2], ndmin=2)
    area, deform, modulus = table[:, 0], table[:, 1], table[:, 2]
    a0, a1 = area.min(), area.max()
    d0, d1 = deform.min(), deform.max()
    points = np.column_stack(((area - a0) / (a1 - a0), (deform - d0) / (d1 - d0)))
    interpolate = LinearNDInterpolator(points, modulus)
    u = (queries[:, 0] - a0) / (a1 - a0)
    v = (queries[:, 1] - d0) / (d1 - d0)
    simplices = interpolate.tri.find_simplex(np.column_stack((u, v)))
    for value, simplex in zip(interpolate(u, v), simplices):
        radius = float("nan")
        if simplex >= 0:
            a, b, c = points[interpolate.tri.simplices[simplex]]
            ab, bc, ca = np.linalg.norm(b - a), np.linalg.norm(c - b), np.linalg.norm(a - c)
            twice_area = abs((b - a)[0] * (c - a)[1] - (b - a)[1] * (c - a)[0])
            radius = ab * bc * ca / (2.0 * twice_area)
        print(repr(float(value)), repr(radius))


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Reference values for FourierDeformTest.cpp: the Fourier contour analysis
transcribed with OpenCV's convexHull, moments, contourArea and arcLength and
numpy's periodic interpolation.

    /usr/bin/python3 tests/calc/fourier_oracle.py <input file>

Input lines:
    MASK rows cols b_0 .. b_(rows*cols-1)     one binary mask, row-major
    CONTOUR x_0 y_0 x_1 y_1 ...                one outline in pixels
Output, one line per input line:
    <number of outline points> <deform_odd> <deform_even> <deform_fc>
For a mask the outline is the one of the largest external contour with more
than 4 points and non-zero area (first of equal areas); 0 nan nan nan when
there is none. The outline of a CONTOUR line is the given points.
"""
import sys

import cv2
import numpy as np

TWO_PI = 2.0 * 3.141592653589793
ORDERS = 11
ANGLES = 100
PER_EDGE = 10


def outline_of(mask):
    contours, _ = cv2.findContours(mask.copy(), cv2.RETR_EXTERNAL, cv2.CHAIN_APPROX_NONE)
    best, best_area = None, 0.0
    for c in contours:
        if len(c) <= 4:
            continue
        area = cv2.contourArea(c)
        if area > best_area:
            best, best_area = c, area
    return None if best is None else best.reshape(-1, 2)


def deformation(points):
    pts = points.astype(np.float32).reshape(-1, 1, 2)
    area = cv2.contourArea(pts)
    perimeter = cv2.arcLength(pts, True)
    return 1.0 - 2.0 * np.sqrt(np.pi * area) / perimeter


def analyse(outline):
    hull = cv2.convexHull(outline.astype(np.int32).reshape(-1, 1, 2), clockwise=False,
                          returnPoints=True)
    m = cv2.moments(hull)
    if m["m00"] == 0:
        return [float("nan")] * 3
    centre = np.array([m["m10"] / m["m00"], m["m01"] / m["m00"]])
    vertices = hull.reshape(-1, 2).astype(float) - centre
    following = np.roll(vertices, -1, axis=0)
    t = np.arange(PER_EDGE) / PER_EDGE
    dense = (vertices[:, None, :] + (following - vertices)[:, None, :] * t[None, :, None])
    dense = dense.reshape(-1, 2)
    radius = np.sqrt(dense[:, 0] ** 2 + dense[:, 1] ** 2)
    angle = np.fmod(TWO_PI + np.fmod(np.arctan2(dense[:, 1], dense[:, 0]), TWO_PI), TWO_PI)
    order = np.argsort(angle, kind="stable")
    angle, radius = angle[order], radius[order]

    phi = np.arange(ANGLES) * TWO_PI / ANGLES
    r = np.interp(phi, angle, radius, period=TWO_PI)
    k = np.arange(ORDERS)[:, None]
    step = TWO_PI / ANGLES
    a = (r * np.cos(k * phi) * step).sum(axis=1) / np.pi
    b = (r * np.sin(k * phi) * step).sum(axis=1) / np.pi
    a[0] /= 2.0
    results = []
    for orders in (range(1, ORDERS, 2), range(2, ORDERS, 2), range(1, ORDERS)):
        rebuilt = a[0] + sum(a[j] * np.cos(j * phi) + b[j] * np.sin(j * phi) for j in orders)
        points = np.stack([rebuilt * np.cos(phi), rebuilt * np.sin(phi)], axis=1)
        results.append(deformation(points))
    return results


def main(path):
    out = []
    with open(path) as f:
        for line in f:
            w = line.split()
            if not w:
                continue
            if w[0] == "MASK":
                rows, cols = int(w[1]), int(w[2])
                mask = np.array([int(v) for v in w[3:3 + rows * cols]], np.uint8)
                outline = outline_of(mask.reshape(rows, cols))
            else:
                outline = np.array([int(v) for v in w[1:]], np.int32).reshape(-1, 2)
            if outline is None:
                out.append("0 nan nan nan")
                continue
            values = analyse(outline)
            out.append("%d %s" % (len(outline), " ".join(repr(float(v)) for v in values)))
    print("\n".join(out))


if __name__ == "__main__":
    main(sys.argv[1])

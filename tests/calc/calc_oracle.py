#!/usr/bin/python3
# Reference values for CalcFeaturesTest.cpp, computed independently:
#
#     /usr/bin/python3 tests/calc/calc_oracle.py <cells file>
#
# The file holds records of a text line "rows cols", then rows*cols image
# bytes and rows*cols mask bytes. For each record one line
#     CELL n odd even fc | 24 texture values
# - n and the Fourier deformations: the outline is the largest external
#   contour with more than 4 points (first of equal areas), 0 nan nan nan
#   without one; then a transcription of the analysis with OpenCV's
#   convexHull, moments, contourArea and arcLength and numpy's periodic
#   np.interp (11 orders, 100 angles, 10 samples per hull edge).
# - the texture features in the order of imageFeatureNames ("nan" where one
#   cannot be computed), from numpy quantiles, scipy skew/kurtosis/entropy,
#   numpy's double-precision FFT of the single-precision patch OpenCV's DFT
#   gets, OpenCV Sobel, Laplacian (aperture 1, the 4-neighbour kernel),
#   getOptimalDFTSize and morphology on the whole image.
import sys

import cv2
import numpy as np
from scipy import stats

TWO_PI = 2.0 * 3.141592653589793


def fourier(mask):
    best, best_area = None, 0.0
    for c in cv2.findContours(mask, cv2.RETR_EXTERNAL, cv2.CHAIN_APPROX_NONE)[0]:
        if len(c) > 4 and cv2.contourArea(c) > best_area:
            best, best_area = c, cv2.contourArea(c)
    if best is None:
        return [0, np.nan, np.nan, np.nan]
    hull = cv2.convexHull(best, clockwise=False)
    m = cv2.moments(hull)
    v = hull.reshape(-1, 2) - [m["m10"] / m["m00"], m["m01"] / m["m00"]]
    dense = v[:, None] + (np.roll(v, -1, 0) - v)[:, None] * (np.arange(10)[:, None] / 10)
    x, y = dense.reshape(-1, 2).T
    angle = np.fmod(TWO_PI + np.fmod(np.arctan2(y, x), TWO_PI), TWO_PI)
    order = np.argsort(angle, kind="stable")
    phi = np.arange(100) * TWO_PI / 100
    r = np.interp(phi, angle[order], np.hypot(x, y)[order], period=TWO_PI)
    k = np.arange(11)[:, None]
    a, b = (r * np.cos(k * phi)).sum(1) / 50, (r * np.sin(k * phi)).sum(1) / 50
    a[0] /= 2
    out = [len(best)]
    for orders in (range(1, 11, 2), range(2, 11, 2), range(1, 11)):
        rr = a[0] + sum(a[j] * np.cos(j * phi) + b[j] * np.sin(j * phi) for j in orders)
        points = np.stack([rr * np.cos(phi), rr * np.sin(phi)], 1).astype(np.float32)
        out.append(1 - 2 * np.sqrt(np.pi * cv2.contourArea(points)) / cv2.arcLength(points, True))
    return out


def brightness(v):
    q10, q25, q50, q75, q90 = np.quantile(v, [0.1, 0.25, 0.5, 0.75, 0.9])
    var, mean = np.var(v), v.mean()
    shape = [stats.skew(v), stats.kurtosis(v)] if var > 0 else [np.nan, np.nan]
    return [q50, q10, q90, q75 - q25, 1.4826 * np.median(np.abs(v - q50)),
            np.sqrt(var) / mean if mean else np.nan, *shape,
            stats.entropy(np.bincount(v.astype(int)), base=2)]


def lbp(img, mask):
    centre = img[1:-1, 1:-1]  # empty below 3 x 3 pixels: NaN below
    # Neighbours anticlockwise from the right, as (dy, dx); d - 1 or None is
    # the end of the shifted slice (-2, -1, up to the end).
    bits = [img[1 + dy:dy - 1 or None, 1 + dx:dx - 1 or None] >= centre for dy, dx in
            ((0, 1), (-1, 1), (-1, 0), (-1, -1), (0, -1), (1, -1), (1, 0), (1, 1))]
    turns = sum(bits[k] != bits[k - 1] for k in range(8))
    bins = np.where(turns <= 2, sum(b.astype(int) for b in bits), 9)[mask[1:-1, 1:-1] != 0]
    if bins.size == 0:
        return [np.nan] * 3
    p = np.bincount(bins, minlength=10) / bins.size
    return [stats.entropy(p, base=2), 1 - p[9], p[0] + p[8]]


def radial(v, r):
    ring = np.minimum((10 * r / r.max()).astype(int), 9)
    counts = np.bincount(ring, minlength=10)
    keep = counts > 0
    if keep.sum() < 2:
        return [np.nan] * 4
    R, M = (np.arange(10)[keep] + 0.5) / 10, np.bincount(ring, v, 10)[keep] / counts[keep]
    inner, outer = M[R < 0.25], M[R > 0.75]
    lo, hi = M.min(), M.max()
    line = M[0] + (M[-1] - M[0]) * (R - R[0]) / (R[-1] - R[0])
    return [np.polyfit(R, M, 1)[0],
            inner.mean() / outer.mean() if inner.size and outer.sum() > 0 else np.nan,
            (hi - lo) / (hi + lo) if hi + lo > 0 else np.nan,
            max(0.0, np.max(line - M)) / (hi - lo) if hi > lo else 0.0]


def spectral(img, mask, v, xs, ys, rmax):
    h = max(int(np.ceil(rmax)), 2) + 2
    cx, cy = int(np.floor(xs.mean() + 0.5)), int(np.floor(ys.mean() + 0.5))  # both >= 0
    x0, x1 = np.clip([cx - h, cx + h], 0, img.shape[1] - 1)
    y0, y1 = np.clip([cy - h, cy + h], 0, img.shape[0] - 1)
    n = min(x1 - x0, y1 - y0) + 1
    if n < 8:
        return [np.nan] * 4
    m = cv2.getOptimalDFTSize(n)
    w = (0.5 * (1 - np.cos(2 * np.pi * np.arange(m) / (m - 1)))).astype(np.float32)[:n]
    box = (slice(y0, y0 + n), slice(x0, x0 + n))
    grey = np.where(mask[box] != 0, img[box], v.mean()) - v.mean()
    patch = np.zeros((m, m), np.float32)
    patch[:n, :n] = w[None, :] * (w[:, None].astype(float) * grey)
    power = np.abs(np.fft.fft2(patch.astype(float))) ** 2
    half, f = m // 2, np.arange(m)
    f = np.where(f > half, f - m, f)
    k = np.rint(np.hypot(f[:, None], f[None, :])).astype(int).ravel()
    inside = k <= half
    count = np.bincount(k[inside], minlength=half + 1)[1:]
    F = np.arange(1, half + 1)[count > 0]
    S = np.bincount(k[inside], power.ravel()[inside], half + 1)[1:][count > 0] / count[count > 0]
    if F.size < 3:
        return [np.nan] * 4
    total, pos = S.sum(), S > 0
    if total <= 0:
        return [np.nan, np.nan, np.nan, 0.0]
    slope = np.polyfit(np.log(F[pos]), np.log(S[pos]), 1)[0] if pos.sum() >= 2 else np.nan
    return [slope, (F * S).sum() / total, S[F > half / 2].sum() / total,
            stats.entropy(S, base=2)]


def focus(img, mask, xs, ys):
    g = img.astype(np.float32)
    gx, gy = (cv2.Sobel(g, cv2.CV_32F, dx, 1 - dx, ksize=3).astype(float) for dx in (1, 0))
    lap = cv2.Laplacian(g, cv2.CV_32F, ksize=1).astype(float)
    box = (slice(max(ys.min() - 5, 0), ys.max() + 6), slice(max(xs.min() - 5, 0), xs.max() + 6))
    grey = img[box].astype(float)
    pairs = np.r_[(grey[:, 2:] - grey[:, :-2]).ravel(), (grey[2:] - grey[:-2]).ravel()]
    element = cv2.getStructuringElement(cv2.MORPH_ELLIPSE, (11, 11))
    band = (cv2.dilate(mask, element) != 0) & (cv2.erode(mask, element) == 0)
    edge = np.hypot(gx, gy)[band]
    return [np.mean(gx[box] ** 2 + gy[box] ** 2), np.var(lap[box]),
            np.mean(pairs ** 2) if pairs.size else np.nan, edge.mean() if edge.size else np.nan]


def texture(img, mask):
    ys, xs = np.nonzero(mask)
    if ys.size < 16:
        return [np.nan] * 24
    v = img[ys, xs].astype(float)
    r = np.hypot(xs - xs.mean(), ys - ys.mean())
    return (brightness(v) + lbp(img, mask) + radial(v, r) + spectral(img, mask, v, xs, ys, r.max())
            + focus(img, mask, xs, ys))


with open(sys.argv[1], "rb") as cells:
    while size := cells.readline().split():
        rows, cols = int(size[0]), int(size[1])
        image, mask = np.frombuffer(cells.read(2 * rows * cols), np.uint8).reshape(2, rows, cols)
        values = fourier(mask.copy()), texture(image, mask)
        print("CELL", " | ".join(" ".join(repr(float(x)) for x in g) for g in values))

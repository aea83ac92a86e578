#!/usr/bin/python3
"""Reference values for ImageFeaturesTest.cpp: the 24 image texture features
computed independently with numpy (np.quantile, np.median), scipy.stats (skew,
kurtosis, entropy), numpy's FFT in double precision against OpenCV's
single-precision DFT, and OpenCV's Sobel, Laplacian (aperture 1, the
4-neighbour kernel), getOptimalDFTSize and morphology on the whole image.

    /usr/bin/python3 tests/calc/texture_oracle.py <input file>

Input lines: CASE rows cols <rows*cols image bytes> <rows*cols mask bytes>
Output, one line per case: the 24 values in the order of imageFeatureNames
("nan" where a value cannot be computed).
"""
import sys
import warnings

import cv2
import numpy as np
from scipy import stats

warnings.simplefilter("ignore")
NAN = float("nan")


def brightness(v):
    q10, q25, q50, q75, q90 = np.quantile(v, [0.1, 0.25, 0.5, 0.75, 0.9])
    mad = 1.4826 * np.median(np.abs(v - q50))
    mean = v.mean()
    m2 = np.mean((v - mean) ** 2)
    cv_ = np.sqrt(m2) / mean if mean != 0 else NAN
    skew = stats.skew(v) if m2 > 0 else NAN
    kurt = stats.kurtosis(v, fisher=True) if m2 > 0 else NAN
    hist = np.bincount(np.clip(v.astype(np.int64), 0, 255), minlength=256)
    entropy = stats.entropy(hist, base=2)
    return [q50, q10, q90, q75 - q25, mad, cv_, skew, kurt, entropy]


def lbp(img, mask):
    rows, cols = img.shape
    if rows < 3 or cols < 3:
        return [NAN] * 3
    c = img[1:-1, 1:-1].astype(int)
    shifts = [(0, 1), (-1, 1), (-1, 0), (-1, -1), (0, -1), (1, -1), (1, 0), (1, 1)]  # (dy, dx)
    bits = [(img[1 + dy:rows - 1 + dy, 1 + dx:cols - 1 + dx].astype(int) >= c).astype(int)
            for dy, dx in shifts]
    transitions = sum((bits[k] != bits[(k + 1) % 8]).astype(int) for k in range(8))
    ones = sum(bits)
    bins = np.where(transitions <= 2, ones, 9)[mask[1:-1, 1:-1] != 0]
    if bins.size == 0:
        return [NAN] * 3
    p = np.bincount(bins, minlength=10) / bins.size
    return [stats.entropy(p, base=2), 1.0 - p[9], p[0] + p[8]]


def radial(v, xs, ys):
    cx, cy = xs.mean(), ys.mean()
    r = np.hypot(xs - cx, ys - cy)
    rmax = r.max()
    if rmax <= 0:
        return [NAN] * 4
    ring = np.clip((10 * r / rmax).astype(int), 0, 9)
    counts = np.bincount(ring, minlength=10)
    sums = np.bincount(ring, weights=v, minlength=10)
    keep = counts > 0
    if keep.sum() < 2:
        return [NAN] * 4
    R = ((np.arange(10) + 0.5) / 10)[keep]
    M = sums[keep] / counts[keep]
    slope = np.polyfit(R, M, 1)[0]
    inner, outer = M[R < 0.25], M[R > 0.75]
    cer = inner.mean() / outer.mean() if inner.size and outer.size and outer.sum() > 0 else NAN
    lo, hi = M.min(), M.max()
    contrast = (hi - lo) / (hi + lo) if hi + lo > 0 else NAN
    line = M[0] + (M[-1] - M[0]) * (R - R[0]) / (R[-1] - R[0])
    depth = max(0.0, float(np.max(line - M)))
    ring_depth = depth / (hi - lo) if hi - lo > 0 else 0.0
    return [slope, cer, contrast, ring_depth]


def spectral(img, mask, v, xs, ys):
    rows, cols = img.shape
    cx, cy = xs.mean(), ys.mean()
    rmax = np.hypot(xs - cx, ys - cy).max()
    mean = v.mean()
    h = max(int(np.ceil(rmax)), 2) + 2
    cxr = int(np.floor(cx + 0.5))  # cx >= 0: halves away from zero
    cyr = int(np.floor(cy + 0.5))
    x0, x1 = np.clip([cxr - h, cxr + h], 0, cols - 1)
    y0, y1 = np.clip([cyr - h, cyr + h], 0, rows - 1)
    side = min(x1 - x0, y1 - y0)
    if side < 7:
        return [NAN] * 4
    n = side + 1
    m = cv2.getOptimalDFTSize(n)
    w = (0.5 * (1.0 - np.cos(2.0 * np.pi * np.arange(m) / (m - 1)))).astype(np.float32)
    w64 = w.astype(np.float64)[:n]
    grey = img[y0:y0 + n, x0:x0 + n].astype(np.float64)
    grey = np.where(mask[y0:y0 + n, x0:x0 + n] != 0, grey, mean)
    patch = np.zeros((m, m), np.float32)
    patch[:n, :n] = (w64[None, :] * (w64[:, None] * (grey - mean))).astype(np.float32)
    spectrum = np.fft.fft2(patch.astype(np.float64))
    power = spectrum.real ** 2 + spectrum.imag ** 2
    half = m // 2
    f = np.arange(m)
    f = np.where(f > half, f - m, f)
    k = np.rint(np.hypot(f[:, None], f[None, :])).astype(int)
    inside = k <= half
    ring_power = np.bincount(k[inside], weights=power[inside], minlength=half + 1)
    ring_count = np.bincount(k[inside], minlength=half + 1)
    F = np.arange(1, half + 1)
    keep = ring_count[1:] > 0
    F = F[keep]
    S = ring_power[1:][keep] / ring_count[1:][keep]
    if F.size < 3:
        return [NAN] * 4
    total = S.sum()
    pos = S > 0
    slope = np.polyfit(np.log(F[pos]), np.log(S[pos]), 1)[0] if pos.sum() >= 2 else NAN
    centroid = (F * S).sum() / total if total > 0 else NAN
    hf = S[F > half / 2.0].sum() / total if total > 0 else NAN
    entropy = stats.entropy(S, base=2) if total > 0 else 0.0
    return [slope, centroid, hf, entropy]


def focus(img, mask, xs, ys):
    rows, cols = img.shape
    f = img.astype(np.float32)
    gx = cv2.Sobel(f, cv2.CV_32F, 1, 0, ksize=3).astype(np.float64)
    gy = cv2.Sobel(f, cv2.CV_32F, 0, 1, ksize=3).astype(np.float64)
    lap = cv2.Laplacian(f, cv2.CV_32F, ksize=1).astype(np.float64)
    x0, x1 = max(xs.min() - 5, 0), min(xs.max() + 5, cols - 1)
    y0, y1 = max(ys.min() - 5, 0), min(ys.max() + 5, rows - 1)
    box = (slice(y0, y1 + 1), slice(x0, x1 + 1))
    tenengrad = np.mean(gx[box] ** 2 + gy[box] ** 2)
    lapvar = np.var(lap[box])
    g = img[box].astype(np.float64)
    pairs = [(g[:, 2:] - g[:, :-2]).ravel(), (g[2:, :] - g[:-2, :]).ravel()]
    both = np.concatenate(pairs)
    brenner = np.mean(both ** 2) if both.size else NAN
    element = cv2.getStructuringElement(cv2.MORPH_ELLIPSE, (11, 11))
    band = (cv2.dilate(mask, element) != 0) & (cv2.erode(mask, element) == 0)
    magnitude = np.sqrt(gx ** 2 + gy ** 2)[band]
    edge = magnitude.mean() if magnitude.size else NAN
    return [tenengrad, lapvar, brenner, edge]


def features(img, mask):
    ys, xs = np.nonzero(mask)
    if ys.size < 16:
        return [NAN] * 24
    v = img[ys, xs].astype(np.float64)
    return (brightness(v) + lbp(img, mask) + radial(v, xs.astype(float), ys.astype(float))
            + spectral(img, mask, v, xs.astype(float), ys.astype(float)) + focus(img, mask, xs, ys))


def main(path):
    out = []
    with open(path) as f:
        for line in f:
            w = line.split()
            if not w:
                continue
            rows, cols = int(w[1]), int(w[2])
            size = rows * cols
            data = np.array([int(s) for s in w[3:3 + 2 * size]], np.uint8)
            img = data[:size].reshape(rows, cols)
            mask = data[size:].reshape(rows, cols)
            out.append(" ".join(repr(float(x)) for x in features(img, mask)))
    print("\n".join(out))


if __name__ == "__main__":
    main(sys.argv[1])

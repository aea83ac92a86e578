#!/usr/bin/python3
"""The same binned kernel density grid with numpy/scipy, for bench_density:
np.histogram2d over the grid's cells, then scipy.ndimage.convolve1d along x and
along y with the same Gaussian kernels (cut at four bandwidths, normalised).

    /usr/bin/python3 bench/kde_numpy.py POINTS G X0 Y0 XSTEP YSTEP HX HY REPEATS

POINTS holds n float64 x values followed by n float64 y values (native byte
order). Prints the best and the median wall time of REPEATS runs in
milliseconds, then the grid's sum (a check that both sides binned the same
events).
"""
import sys
import time

import numpy as np
from scipy.ndimage import convolve1d


def kernel(bandwidth_cells):
    r = max(int(np.ceil(4 * bandwidth_cells)), 1)
    j = np.arange(-r, r + 1)
    w = np.exp(-0.5 * (j / bandwidth_cells) ** 2)
    return w / w.sum()


def main():
    path = sys.argv[1]
    g = int(sys.argv[2])
    x0, y0, sx, sy, hx, hy = (float(v) for v in sys.argv[3:9])
    repeats = int(sys.argv[9])
    points = np.fromfile(path, dtype=np.float64)
    n = points.size // 2
    x, y = points[:n], points[n:]
    kx, ky = kernel(hx / sx), kernel(hy / sy)
    times = []
    grid = None
    for _ in range(repeats):
        start = time.perf_counter()
        counts, _, _ = np.histogram2d(y, x, bins=g, range=[[y0, y0 + g * sy], [x0, x0 + g * sx]])
        grid = convolve1d(counts, kx, axis=1, mode="constant", cval=0.0)
        grid = convolve1d(grid, ky, axis=0, mode="constant", cval=0.0)
        times.append(time.perf_counter() - start)
    print("%.3f" % (min(times) * 1e3))
    print("%.3f" % (float(np.median(times)) * 1e3))
    print("%.6f" % grid.sum())


if __name__ == "__main__":
    main()

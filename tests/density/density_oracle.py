#!/usr/bin/python3
"""Reference values for test_density_estimator.cpp and test_statistics_dock.cpp,
rebuilt independently with numpy/scipy. Run with Debian's interpreter:

    /usr/bin/python3 tests/density/density_oracle.py              # prints the values
    /usr/bin/python3 tests/density/density_oracle.py --knn KIND N SEED
        # exact k-NN densities of uniform/clustered/duplicates(N, SEED), one per line,
        # from scipy's cKDTree; of equal, twovalues, lattice, outlier, outliers,
        # saturated, bruteduplicates, threelevels or threelevelsT (its transpose)
        # (N, SEED) by comparing every pair

The point sets come from the same integer generator as DensityTestData.h
(splitmix64, uniforms of 53 bits, a bell shape as the sum of four uniforms);
only +, -, * and / touch the doubles, so both sides produce identical bits.
"""
import sys

import numpy as np
from scipy.ndimage import convolve1d, map_coordinates
from scipy.spatial import cKDTree

MASK = (1 << 64) - 1


class Generator:
    def __init__(self, seed):
        self.state = seed & MASK

    def next_u64(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        return z ^ (z >> 31)

    def uniform(self):
        return float(self.next_u64() >> 11) * (1.0 / 9007199254740992.0)

    def bell(self):
        a = self.uniform()
        b = self.uniform()
        c = self.uniform()
        d = self.uniform()
        return a + b + c + d - 2.0


def clustered(n, seed):
    """Two elongated clusters over a uniform background."""
    g = Generator(seed)
    xs, ys = [], []
    for _ in range(n):
        kind = g.next_u64() % 3
        if kind == 0:
            bx = g.bell()
            by = g.bell()
            xs.append(2.0 + 0.6 * bx)
            ys.append(3.0 + 0.4 * by)
        elif kind == 1:
            bx = g.bell()
            by = g.bell()
            xs.append(5.0 + 0.3 * bx)
            ys.append(1.0 + 0.8 * by)
        else:
            ux = g.uniform()
            uy = g.uniform()
            xs.append(8.0 * ux)
            ys.append(5.0 * uy - 1.0)
    return np.array(xs), np.array(ys)


def uniform_square(n, seed):
    g = Generator(seed)
    xs, ys = [], []
    for _ in range(n):
        ux = g.uniform()
        uy = g.uniform()
        xs.append(ux)
        ys.append(uy)
    return np.array(xs), np.array(ys)


def duplicates(n, seed):
    """clustered() snapped to a lattice of 0.1: many events share a position."""
    x, y = clustered(n, seed)
    return np.floor(x * 10.0) / 10.0, np.floor(y * 10.0) / 10.0


def equal(n, seed):
    """Every event at one position."""
    return np.full(n, 2.5), np.full(n, -1.25)


def two_values(n, seed):
    """Two values per feature, drawn independently: four positions."""
    g = Generator(seed)
    xs, ys = [], []
    for _ in range(n):
        a = g.next_u64() % 2
        b = g.next_u64() % 2
        xs.append(0.0 if a == 0 else 3.0)
        ys.append(10.0 if b == 0 else 20.0)
    return np.array(xs), np.array(ys)


def three_levels(n, seed, transposed=False):
    """A continuous bell against an integer-valued feature of three values."""
    g = Generator(seed)
    xs, ys = [], []
    for _ in range(n):
        b = g.bell()
        level = float(g.next_u64() % 3)
        spread = 10.0 + 3.0 * b
        xs.append(level if transposed else spread)
        ys.append(spread if transposed else level)
    return np.array(xs), np.array(ys)


def lattice(n, seed):
    """Integer-valued bell-shaped features: few positions, many equal distances."""
    g = Generator(seed)
    xs, ys = [], []
    for _ in range(n):
        bx = g.bell()
        by = g.bell()
        xs.append(float(np.floor(bx * 2.0)))
        ys.append(float(np.floor(by * 2.0)))
    return np.array(xs), np.array(ys)


def outlier(n, seed, both=False):
    """clustered() with (1e308, -1e308) at n // 3 (and (-1e308, 1e308) at 2n // 3)."""
    x, y = clustered(n, seed)
    x[n // 3], y[n // 3] = 1e308, -1e308
    if both:
        x[2 * n // 3], y[2 * n // 3] = -1e308, 1e308
    return x, y


def saturated(n, seed):
    """clustered() with its uniform background saturated at (8, 4)."""
    x, y = clustered(n, seed)
    hit = (x > 6.5) | (y > 3.5)
    x[hit], y[hit] = 8.0, 4.0
    return x, y


def candidates():
    out = []
    for i in range(20):
        m = np.exp(i * 2.7725888 / 19.0 + 3.4657359)
        m = int(np.floor(m + 0.5))
        if not out or out[-1] != m:
            out.append(m)
    return out


def cell_index(values, lo, step, count):
    return np.clip(np.trunc((values - lo) / step), 0, count - 1).astype(np.int64)


def bin_cost(x, y, m):
    rx = x.max() - x.min()
    ry = y.max() - y.min()
    rx = rx if rx > 0 else 1.0
    ry = ry if ry > 0 else 1.0
    w, h = rx / m, ry / m
    cols = cell_index(x, x.min(), w, m)
    rows = cell_index(y, y.min(), h, m)
    counts = np.bincount(rows * m + cols, minlength=m * m).astype(float)
    mean = len(x) / (m * m)
    v = np.sum((counts - mean) ** 2) / (m * m)
    return (2 * mean - v) / (w * h) ** 2


def choose(x, y):
    best, choice = np.finfo(float).max, 64
    for m in candidates():
        c = bin_cost(x, y, m)
        if c < best:
            best, choice = c, m
    return choice


def spread(v):
    q1, q3 = np.percentile(v, [25, 75])
    iqr = q3 - q1
    sd = np.std(v)
    return iqr / 1.34 if (iqr > 0 and iqr / 1.34 < sd) else sd


def kernel(b):
    r = max(int(np.ceil(4 * b)), 1)
    j = np.arange(-r, r + 1)
    w = np.exp(-0.5 * (j / b) ** 2)
    return w / w.sum()


def kde_grid(x, y, g):
    n = len(x)
    hx = n ** (-1 / 6) * spread(x)
    hy = n ** (-1 / 6) * spread(y)
    hx = hx if hx > 0 else 1.0
    hy = hy if hy > 0 else 1.0
    x0, y0 = x.min() - 3 * hx, y.min() - 3 * hy
    sx = (x.max() + 3 * hx - x0) / g
    sy = (y.max() + 3 * hy - y0) / g
    counts = np.zeros((g, g))
    np.add.at(counts, (cell_index(y, y0, sy, g), cell_index(x, x0, sx, g)), 1.0)
    smooth = convolve1d(counts, kernel(hx / sx), axis=1, mode="constant", cval=0.0)
    smooth = convolve1d(smooth, kernel(hy / sy), axis=0, mode="constant", cval=0.0)
    return smooth, x0, y0, sx, sy, hx, hy


def kde_at(grid, x0, y0, sx, sy, x, y):
    fx = (x - x0) / sx - 0.5
    fy = (y - y0) / sy - 0.5
    return map_coordinates(grid, [fy, fx], order=1, mode="nearest")


def fmt(values):
    return ", ".join("%.17g" % v for v in values)


def print_bins():
    print("candidates:", candidates())
    for n, seed in ((600, 7), (5000, 11)):
        x, y = clustered(n, seed)
        print("clustered(%d, %d) costs:" % (n, seed), fmt(bin_cost(x, y, m) for m in candidates()))
        print("clustered(%d, %d) choice:" % (n, seed), choose(x, y))


def print_kde():
    x, y = clustered(600, 7)
    grid, x0, y0, sx, sy, hx, hy = kde_grid(x, y, 24)
    print("kde G=24 clustered(600, 7): hx, hy, xMin, yMin, xStep, yStep:",
          fmt([hx, hy, x0, y0, sx, sy]))
    print("  radii:", len(kernel(hx / sx)) // 2, len(kernel(hy / sy)) // 2)
    print("  grid sum:", "%.17g" % grid.sum())
    cells = [(3, 5), (12, 12), (20, 7), (0, 0), (23, 23), (9, 17)]
    print("  cells (ix, iy):", cells)
    print("  values:", fmt(grid[iy, ix] for ix, iy in cells))
    print("  densities at events 0..9:", fmt(kde_at(grid, x0, y0, sx, sy, x[:10], y[:10])))
    print("  densities at (-5, -5), (20, 1.5), (3.3, 2.2):",
          fmt(kde_at(grid, x0, y0, sx, sy, np.array([-5.0, 20.0, 3.3]),
                     np.array([-5.0, 1.5, 2.2]))))
    x, y = clustered(5000, 11)
    g = choose(x, y)
    grid, *_ = kde_grid(x, y, g)
    print("kde auto clustered(5000, 11): size", g, "sum %.17g max %.17g" % (grid.sum(), grid.max()))


def print_histogram():
    x, y = clustered(600, 7)
    b = 16
    cols = cell_index(x, x.min(), (x.max() - x.min()) / b, b)
    rows = cell_index(y, y.min(), (y.max() - y.min()) / b, b)
    counts = np.bincount(rows * b + cols, minlength=b * b)
    dens = counts[rows * b + cols]
    print("histogram B=16 clustered(600, 7): events 0..9:", list(dens[:10]),
          "sum", int(dens.sum()))


def exact_knn(x, y):
    n = len(x)
    k = max(int(np.floor(np.sqrt(n))), 1)
    tree = cKDTree(np.column_stack([x, y]))
    dist, _ = tree.query(np.column_stack([x, y]), k=k + 1)
    d2 = dist[:, k] ** 2
    return k / (np.pi * d2)


def brute_knn(x, y):
    """k-NN densities by comparing every pair, with the squared distance formed
    as the program forms it, (xi - xj)^2 + (yi - yj)^2, so that overflow to
    infinity and ties come out the same; d^2 = 0 gives the density k."""
    n = len(x)
    k = max(int(np.floor(np.sqrt(n))), 1)
    out = np.empty(n)
    with np.errstate(over="ignore", invalid="ignore", divide="ignore"):
        for start in range(0, n, 256):
            dx = x[start:start + 256, None] - x[None, :]
            dy = y[start:start + 256, None] - y[None, :]
            d2 = np.partition(dx * dx + dy * dy, k, axis=1)[:, k]
            out[start:start + 256] = np.where(d2 > 0, k / (np.pi * d2), float(k))
    return out


def print_knn(kind, n, seed):
    tree_kinds = {"uniform": uniform_square, "clustered": clustered, "duplicates": duplicates}
    brute_kinds = {"equal": equal, "twovalues": two_values, "lattice": lattice,
                   "outlier": outlier, "outliers": lambda n, s: outlier(n, s, True),
                   "saturated": saturated, "bruteduplicates": duplicates,
                   "threelevels": three_levels,
                   "threelevelsT": lambda n, s: three_levels(n, s, True)}
    if kind in tree_kinds:
        values = exact_knn(*tree_kinds[kind](n, seed))
    else:
        values = brute_knn(*brute_kinds[kind](n, seed))
    for v in values:
        print("%.17g" % v)


def stats_columns():
    """The statistics dock's columns: finite values only, sample SD."""
    x, y = clustered(200, 5)
    x = x * 1000.0
    for i in range(200):
        if i % 17 == 0:
            x[i] = np.nan
        elif i % 23 == 0:
            x[i] = np.inf
        if i % 19 == 0:
            y[i] = -np.inf if i % 2 else np.nan
    return x, y


def print_stats():
    for name, v in zip(("x", "y"), stats_columns()):
        f = v[np.isfinite(v)]
        q1, med, q3 = np.percentile(f, [25, 50, 75])
        print("stats %s: N %d, mean, sd, q1, median, q3, iqr:" % (name, len(f)),
              fmt([f.mean(), f.std(ddof=1), q1, med, q3, q3 - q1]))


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "--knn":
        print_knn(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    else:
        print_bins()
        print_kde()
        print_histogram()
        print_stats()

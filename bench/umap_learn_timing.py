#!/usr/bin/python3
"""Times umap-learn's fit on the matrix of bench_dimred's BM_UmapFit: the
first ROWS events of three Gaussian blobs in 8-D, robust-scaled (median,
MAD x 1.4826). The blobs are made here with the same splitmix64 stream as
bench_dimred's generator, so both sides fit the same numbers. Run with
Debian's interpreter:

    /usr/bin/python3 bench/umap_learn_timing.py [ROWS [REPEATS]]

umap-learn compiles its kernels on first use, and its nearest-neighbour
descent only runs from 4,096 rows on, so each setting is first fitted once,
untimed, on 5,000 other rows (bench_dimred warms up the same way). Only
`fit` is timed. Two settings: random_state=42 (reproducible, one thread for
the layout, as our fit: the like-for-like figure) and no seed (umap-learn's
parallel, non-reproducible layout).
"""
import statistics
import sys
import time

import numpy as np

GOLDEN = np.uint64(0x9E3779B97F4A7C15)
MIX1 = np.uint64(0xBF58476D1CE4E5B9)
MIX2 = np.uint64(0x94D049BB133111EB)


def splitmix_uniforms(seed, count):
    """The first `count` uniforms in [0, 1) of splitmix64 from `seed`: draw k
    mixes the state seed + k * golden (wrapping), top 53 bits over 2^53."""
    with np.errstate(over="ignore"):
        z = np.uint64(seed) + GOLDEN * np.arange(1, count + 1, dtype=np.uint64)
        z = (z ^ (z >> np.uint64(30))) * MIX1
        z = (z ^ (z >> np.uint64(27))) * MIX2
    z = z ^ (z >> np.uint64(31))
    return (z >> np.uint64(11)).astype(np.float64) * 2.0 ** -53


def blobs(per_blob, dims, seed):
    """Three round blobs, blob b centred at 8b along axis b % dims, rows in
    blob order; each value a sum of 12 uniforms minus 6, added in order."""
    rows = 3 * per_blob
    u = splitmix_uniforms(seed, rows * dims * 12).reshape(rows * dims, 12)
    bell = np.full(rows * dims, -6.0)
    for j in range(12):
        bell = bell + u[:, j]
    centre = np.zeros((rows, dims))
    for b in range(3):
        centre[b * per_blob:(b + 1) * per_blob, b % dims] = 8.0 * b
    return centre + bell.reshape(rows, dims)


def scaled_blobs(rows, dims, seed):
    from scipy.stats import median_abs_deviation
    x = blobs((rows + 2) // 3, dims, seed)[:rows]
    return (x - np.median(x, axis=0)) / (median_abs_deviation(x, axis=0, scale=1.0) * 1.4826)


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    import umap
    z = scaled_blobs(rows, 8, 1)
    warm = scaled_blobs(5000, 8, 2)
    for label, kwargs in (("random_state=42", {"random_state": 42}), ("no seed, parallel", {})):
        umap.UMAP(n_epochs=5, **kwargs).fit(warm)
        times = []
        for _ in range(repeats):
            model = umap.UMAP(**kwargs)
            start = time.perf_counter()
            model.fit(z)
            times.append(time.perf_counter() - start)
            del model
        print("umap-learn fit, %d x 8, %s: median %.2f s, min %.2f s (%d runs)"
              % (rows, label, statistics.median(times), min(times), repeats))


if __name__ == "__main__":
    main()

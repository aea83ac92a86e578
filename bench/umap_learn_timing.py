#!/usr/bin/python3
"""Times umap-learn's fit on the matrix of bench_dimred's BM_UmapFit/10000:
the first 10000 events of three Gaussian blobs in 8-D from the tests'
generator (tests/dimred/DimRedTestData.h), robust-scaled (median, MAD x
1.4826). Run with Debian's interpreter:

    /usr/bin/python3 bench/umap_learn_timing.py [rows]

A first fit on a small matrix compiles umap-learn's kernels, so the timed
fits measure the work alone. Two settings are timed: a fixed random_state
(deterministic, one thread for the optimisation, as our fit) and no seed
(umap-learn's parallel, non-reproducible optimisation).
"""
import os
import sys
import time

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "dimred"))
from umap_oracle import blobs  # noqa: E402  (the tests' generator)


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    import umap
    from scipy.stats import median_abs_deviation
    x, _ = blobs((rows + 2) // 3, 8, 1)
    x = x[:rows]
    z = (x - np.median(x, axis=0)) / (median_abs_deviation(x, axis=0, scale=1.0) * 1.4826)
    umap.UMAP(random_state=42, n_epochs=5).fit_transform(z[:500])
    umap.UMAP(n_epochs=5).fit_transform(z[:500])
    for label, kwargs in (("random_state=42", {"random_state": 42}), ("no seed, parallel", {})):
        start = time.perf_counter()
        umap.UMAP(**kwargs).fit_transform(z)
        print("umap-learn fit, %d x 8, %s: %.2f s" % (rows, label, time.perf_counter() - start))


if __name__ == "__main__":
    main()

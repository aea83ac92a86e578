"""h5py reference for bench_gallery's automatic contrast: read the 200 frames
the gallery samples (listed by bench_gallery in gallery_10k.sample.txt, in
ascending order), take every eighth byte and the 1st and 99th percentiles.
Timed with h5py's default chunk cache (1 MiB, smaller than one 100-frame
chunk of 2 MB) and with a cache of two chunks, as the program's reader uses.
Each setting runs once untimed first; the file is opened outside the timing.

Run bench_gallery once first (it generates both files), then:
  /usr/bin/python3 bench/gallery_h5py_contrast.py [DIR] [REPEATS]
"""
import os
import statistics
import sys
import tempfile
import time

import h5py
import numpy as np


def open_file(path, cache_bytes):
    options = {} if cache_bytes is None else {"rdcc_nbytes": cache_bytes, "rdcc_nslots": 521}
    return h5py.File(path, "r", **options)


def contrast(f, sample):
    images = f["events/image"]
    values = np.sort(np.concatenate([images[i].ravel()[::8] for i in sample]))
    n = values.size
    return int(values[(n - 1) * 1 // 100]), int(values[(n - 1) * 99 // 100])


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(tempfile.gettempdir(), "quorvex3-bench")
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    path = os.path.join(folder, "gallery_10k.rtdc")
    sample_path = os.path.join(folder, "gallery_10k.sample.txt")
    if not (os.path.exists(path) and os.path.exists(sample_path)):
        sys.exit("%s or its sample list is missing: run bench_gallery first" % path)
    sample = [int(line) for line in open(sample_path)]
    for label, cache in (("default chunk cache", None), ("two-chunk cache", 2 * 100 * 80 * 250)):
        with open_file(path, cache) as f:  # untimed: page cache and h5py's code warm
            contrast(f, sample)
        times = []
        for _ in range(repeats):
            # A fresh file each run (its chunk cache cold, as bench_gallery's
            # fresh reader); the open is not timed there either.
            with open_file(path, cache) as f:
                start = time.perf_counter()
                lo, hi = contrast(f, sample)
                times.append(time.perf_counter() - start)
        print("h5py %d frames, %s: lo %d hi %d, median %.0f ms, min %.0f ms"
              % (len(sample), label, lo, hi, statistics.median(times) * 1e3, min(times) * 1e3))


if __name__ == "__main__":
    main()

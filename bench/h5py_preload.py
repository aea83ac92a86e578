"""h5py reference for bench_reader's preload: open the benchmark measurement
and read every 1-D column under /events, converted to float64. Only the
open and the reads are timed, after one untimed run.

Run bench_reader once first (it generates the file), then:
  /usr/bin/python3 bench/h5py_preload.py [FILE] [REPEATS]
"""
import os
import statistics
import sys
import tempfile
import time

import h5py
import numpy as np


def preload(path):
    columns = {}
    with h5py.File(path, "r") as f:
        events = f["events"]
        for name in sorted(events.keys(), key=lambda n: n.encode("utf-8")):
            dataset = events[name]
            if isinstance(dataset, h5py.Dataset) and dataset.ndim == 1:
                columns[name] = dataset[()].astype(np.float64)
    return columns


def main():
    default = os.path.join(tempfile.gettempdir(), "quorvex3-bench", "reader_1M.rtdc")
    path = sys.argv[1] if len(sys.argv) > 1 else default
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    if not os.path.exists(path):
        sys.exit("%s is missing: run bench_reader first" % path)
    # An untimed first run brings the file into the page cache and h5py's
    # code into memory, as bench_reader's untimed first load does for ours.
    columns = preload(path)
    count, values = len(columns), sum(c.size for c in columns.values())
    del columns
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        columns = preload(path)
        times.append(time.perf_counter() - start)
        # Freeing the columns is not part of loading them: drop them before
        # the next run's clock starts.
        del columns
    print("h5py open + read %d columns (%d values) as float64: median %.1f ms, min %.1f ms"
          % (count, values, statistics.median(times) * 1e3, min(times) * 1e3))


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""numpy writing a TSV table, for bench_export.

usage: export_numpy_bench.py OUT ROWS COLUMNS

Makes a ROWS x COLUMNS table of uniform doubles in [0, 1000) (untimed) and
writes it with numpy.savetxt(fmt='%.17g', delimiter='\\t'). Prints the
seconds the writing took.
"""
import sys
import time

import numpy as np

out, rows, columns = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
table = np.random.default_rng(7).uniform(0.0, 1000.0, size=(rows, columns))
start = time.perf_counter()
np.savetxt(out, table, fmt="%.17g", delimiter="\t")
print(time.perf_counter() - start)

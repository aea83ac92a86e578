#!/usr/bin/python3
"""h5py writing what the .rtdc export writes, for bench_export.

usage: export_h5py_bench.py SOURCE OUT EVENTS

Reads the first EVENTS events of SOURCE (scalar features, images, masks)
into memory, untimed, then writes them to OUT as the export does: scalar
features as contiguous float64, images and masks as uint8 in chunks of one
frame with gzip level 4. Prints the seconds the writing took.
"""
import sys
import time

import h5py
import numpy as np

source, out, events = sys.argv[1], sys.argv[2], int(sys.argv[3])
with h5py.File(source, "r") as src:
    group = src["events"]
    scalars = {name: group[name][:events].astype(np.float64)
               for name in group if group[name].ndim == 1}
    stacks = {name: group[name][:events] for name in ("image", "mask")}

start = time.perf_counter()
with h5py.File(out, "w") as dst:
    events_group = dst.create_group("events")
    for name, values in scalars.items():
        events_group.create_dataset(name, data=values, dtype="<f8")
    for name, frames in stacks.items():
        events_group.create_dataset(name, data=frames, dtype="|u1",
                                    chunks=(1,) + frames.shape[1:], compression="gzip",
                                    compression_opts=4)
print(time.perf_counter() - start)

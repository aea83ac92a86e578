"""Independent reading of a measurement file with h5py, for the reader's tests.

Usage: /usr/bin/python3 reader_oracle.py FILE [FRAME_INDEX ...]

Prints one line per item, fields separated by single blanks:
  LIST <name> ...                 datasets under /events that are 1-D or are
                                  named image or mask, sorted byte-wise
  COLUMN <name> <value> ...       a 1-D numeric column as float64, repr'd
                                  (enumerations as their integer values)
  ABSENT <name>                   a 1-D column without numbers
  FRAME <name> <index> <height> <width> <pixel> ...   one frame, row-major
"""
import sys

import h5py
import numpy as np


def numeric_values(dataset):
    try:
        kind = dataset.dtype.kind
    except (TypeError, ValueError):  # types numpy cannot express
        return None
    # h5py maps an enumeration of FALSE = 0 and TRUE = 1 to numpy's bool.
    if kind not in "iufb":
        return None
    return np.asarray(dataset[()]).astype(np.float64)


def main():
    path = sys.argv[1]
    frames = [int(a) for a in sys.argv[2:]]
    with h5py.File(path, "r") as f:
        events = f["events"]
        names = sorted(events.keys(), key=lambda n: n.encode("utf-8"))
        listed = []
        for name in names:
            obj = events.get(name, getclass=True)
            if obj is not h5py.Dataset:
                continue
            if events[name].ndim == 1 or name in ("image", "mask"):
                listed.append(name)
        print("LIST " + " ".join(listed))
        for name in listed:
            if name in ("image", "mask"):
                continue
            values = numeric_values(events[name])
            if values is None:
                print("ABSENT " + name)
            else:
                print("COLUMN " + name + "".join(" " + repr(float(v)) for v in values))
        for name in ("image", "mask"):
            if name not in events:
                continue
            stack = events[name]
            for index in frames:
                frame = stack[index]
                h, w = frame.shape
                print("FRAME %s %d %d %d %s" % (name, index, h, w,
                      " ".join(str(int(p)) for p in frame.ravel())))


if __name__ == "__main__":
    main()

# Independent helpers for the session flow tests, with h5py and json.
#
# Run as: /usr/bin/python3 tests/app/session_flow_oracle.py 'MODE|ARG|ARG'
#   append|FILE.rtdc  appends one event to every per-event dataset under
#                     /events (a copy of the last event), as a measurement
#                     grown after the session was saved; prints "EVENTS n".
#   same|A.QV3|B.QV3  prints "SAME 1" when both session files hold the same
#                     JSON apart from "savedAt", else "SAME 0" and the first
#                     difference on standard error.
import json
import sys

import h5py
import numpy as np

mode, *args = sys.argv[1].split("|")
if mode == "append":
    with h5py.File(args[0], "r+") as h5:
        events = h5["events"]
        count = 0
        for name in list(events.keys()):
            data = events[name][...]
            attrs = dict(events[name].attrs)
            grown = np.concatenate([data, data[-1:]], axis=0)
            del events[name]
            events.create_dataset(name, data=grown)
            for key, value in attrs.items():
                events[name].attrs[key] = value
            count = len(grown)
    print("EVENTS", count)
elif mode == "same":
    docs = []
    for path in args:
        with open(path, "rb") as f:
            doc = json.loads(f.read().decode("utf-8"))
        doc.pop("savedAt", None)
        docs.append(doc)

    def first_difference(a, b, where="root"):
        if type(a) != type(b):
            return where
        if isinstance(a, dict):
            for key in sorted(set(a) | set(b)):
                if key not in a or key not in b:
                    return where + "." + key
                found = first_difference(a[key], b[key], where + "." + key)
                if found:
                    return found
            return None
        if isinstance(a, list):
            if len(a) != len(b):
                return where + " (length)"
            for i, (x, y) in enumerate(zip(a, b)):
                found = first_difference(x, y, "%s[%d]" % (where, i))
                if found:
                    return found
            return None
        return None if a == b else where

    difference = first_difference(docs[0], docs[1])
    if difference:
        sys.stderr.write("differs at %s\n" % difference)
    print("SAME", 0 if difference else 1)
else:
    sys.exit("unknown mode " + mode)

#!/usr/bin/python3
"""Checks an exported .rtdc file against its source with h5py and h5dump.

usage: writer_oracle.py SOURCE EXPORT --features a,b,c
                        (--indices 0,2,3 | --filter JSON)
                        [--images] [--masks] [--traces] [--changed-name NAME]
                        [--ignore-images]

--filter computes the exported events independently with numpy from the
source's columns: JSON {"mode": "AND"|"NOT", "rules": [{"feature": f,
"min": a, "max": b, "inverted": bool}, ...]}. A rule whose column is
missing or shorter than the event count takes no part; without a usable
rule every event is exported; NOT keeps the events failing a usable rule.

Checked: every source root attribute of a copyable kind (integer, float,
string, enumeration; not "offline_filter:" or "export:") is in the export
with the same HDF5 datatype (h5t equal), shape and value (floats to 1e-7
relative, the rest exactly), other kinds are absent; the export record;
scalar features as contiguous uncompressed '<f8' equal to the source's
values at the exported events (NaN beyond a short column), absent when the
source lacks them; images and masks '|u1' in chunks (1, H, W) and traces
'<f4' in chunks (1, L), gzip level 4, rows equal to the source's rows; the
same storage as h5dump -H -p reports it. Prints OK and exits 0, else lists
every mismatch on stderr and exits 1.
"""
import argparse
import json
import re
import subprocess
import sys

import h5py
import numpy as np

problems = []


def problem(text):
    problems.append(text)


def event_count(src):
    for name in sorted(src["events"].keys()):
        item = src["events"][name]
        if isinstance(item, h5py.Dataset) and (item.ndim == 1 or name in ("image", "mask")):
            return item.shape[0]
    return 0


def select(src, spec):
    n = event_count(src)
    passing = np.ones(n, dtype=bool)
    usable = 0
    for rule in spec["rules"]:
        name = rule["feature"]
        if name not in src["events"] or src["events"][name].shape[0] < n:
            continue
        v = src["events"][name][:n].astype(np.float64)
        with np.errstate(invalid="ignore"):
            inside = (v >= rule["min"]) & ~(v > rule["max"])
        passing &= inside != bool(rule.get("inverted", False))
        usable += 1
    if usable == 0:
        return np.arange(n)
    keep = passing if spec.get("mode", "AND") == "AND" else ~passing
    return np.nonzero(keep)[0]


COPYABLE = (h5py.h5t.INTEGER, h5py.h5t.FLOAT, h5py.h5t.STRING, h5py.h5t.ENUM)


def check_attributes(src, dst, n, changed_name):
    for name in src.attrs.keys():
        if name.startswith("offline_filter:") or name.startswith("export:"):
            continue
        sid = h5py.h5a.open(src.id, name.encode())
        copyable = sid.get_type().get_class() in COPYABLE
        if not copyable:
            if name in dst.attrs:
                problem(f"attribute {name!r} of an uncopyable kind was copied")
            continue
        if name not in dst.attrs:
            problem(f"attribute {name!r} missing")
            continue
        did = h5py.h5a.open(dst.id, name.encode())
        if not sid.get_type().equal(did.get_type()):
            problem(f"attribute {name!r}: datatype differs ({sid.dtype} vs {did.dtype})")
        if sid.shape != did.shape:
            problem(f"attribute {name!r}: shape {did.shape} instead of {sid.shape}")
        a, b = src.attrs[name], dst.attrs[name]
        if sid.get_type().get_class() == h5py.h5t.FLOAT:
            same = np.allclose(np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64),
                               rtol=1e-7, atol=0.0)
        else:
            same = np.array_equal(np.asarray(a), np.asarray(b))
        if not same:
            problem(f"attribute {name!r}: value {b!r} instead of {a!r}")
    for name in dst.attrs.keys():
        if name.startswith("offline_filter:"):
            continue
        if name.startswith("export:"):
            continue
        if name not in src.attrs:
            problem(f"attribute {name!r} appeared from nowhere")
    count = dst.attrs.get("export:event count")
    if count != str(n):
        problem(f"export:event count is {count!r}, expected {n}")
    date = dst.attrs.get("export:date", "")
    if not re.fullmatch(r"\d{4}-\d{2}-\d{2}", date):
        problem(f"export:date {date!r}")
    got = dst.attrs.get("export:changed sample name")
    if got != changed_name:
        problem(f"export:changed sample name is {got!r}, expected {changed_name!r}")


def check_features(src, dst, features, idx):
    for name in features:
        if name not in src["events"]:
            if name in dst["events"]:
                problem(f"feature {name!r} missing in the source was exported")
            continue
        if name not in dst["events"]:
            problem(f"feature {name!r} missing")
            continue
        d = dst["events"][name]
        if d.dtype != np.dtype("<f8") or d.chunks is not None or d.compression is not None:
            problem(f"feature {name!r}: {d.dtype}, chunks {d.chunks}, {d.compression}")
        column = src["events"][name][:].astype(np.float64)
        expected = np.array([column[i] if i < len(column) else np.nan for i in idx])
        if not np.array_equal(d[:], expected, equal_nan=True):
            problem(f"feature {name!r}: {d[:]} instead of {expected}")


def check_stack(src_ds, dst_ds, idx, dtype):
    label = dst_ds.name
    chunk = (1,) + src_ds.shape[1:]
    if dst_ds.dtype != np.dtype(dtype):
        problem(f"{label}: dtype {dst_ds.dtype.str} instead of {dtype}")
    if dst_ds.chunks != chunk:
        problem(f"{label}: chunks {dst_ds.chunks} instead of {chunk}")
    if dst_ds.compression != "gzip" or dst_ds.compression_opts != 4:
        problem(f"{label}: compression {dst_ds.compression} {dst_ds.compression_opts}")
    expected = src_ds[:][idx].astype(dst_ds.dtype)
    if dst_ds.shape != expected.shape or not np.array_equal(dst_ds[:], expected):
        problem(f"{label}: rows differ from the source's rows {list(idx)}")


def check_h5dump(path, stacks):
    out = subprocess.run(["h5dump", "-H", "-p", path], capture_output=True, text=True).stdout
    blocks = re.split(r'DATASET "', out)[1:]
    seen = {}
    for block in blocks:
        name = block.split('"', 1)[0]
        seen[name] = block
    for name, chunk, typename in stacks:
        block = seen.get(name)
        if block is None:
            problem(f"h5dump lists no dataset {name}")
            continue
        if f"CHUNKED ( {', '.join(str(c) for c in chunk)} )" not in block:
            problem(f"h5dump: {name} not chunked as {chunk}")
        if "COMPRESSION DEFLATE { LEVEL 4 }" not in block:
            problem(f"h5dump: {name} not deflated at level 4")
        if typename not in block:
            problem(f"h5dump: {name} is not {typename}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("export")
    parser.add_argument("--features", default="")
    parser.add_argument("--indices")
    parser.add_argument("--filter")
    parser.add_argument("--images", action="store_true")
    parser.add_argument("--masks", action="store_true")
    parser.add_argument("--traces", action="store_true")
    parser.add_argument("--changed-name")
    parser.add_argument("--ignore-images", action="store_true")
    args = parser.parse_args()

    features = [f for f in args.features.split(",") if f]
    with h5py.File(args.source, "r") as src, h5py.File(args.export, "r") as dst:
        if args.filter is not None:
            idx = select(src, json.loads(args.filter))
        else:
            idx = np.array([int(i) for i in args.indices.split(",") if i], dtype=int)
        check_attributes(src, dst, len(idx), args.changed_name)
        check_features(src, dst, features, idx)
        stacks = []
        for name, wanted in (("image", args.images), ("mask", args.masks)):
            if wanted and name in src["events"]:
                check_stack(src["events"][name], dst["events"][name], idx, "|u1")
                stacks.append((f"{name}", (1,) + src["events"][name].shape[1:], "H5T_STD_U8LE"))
            elif name in dst["events"] and not (name == "image" and args.ignore_images):
                problem(f"/events/{name} written though not asked for or not in the source")
        if args.traces and "trace" in src["events"]:
            for name, source in src["events"]["trace"].items():
                if name not in dst["events"]["trace"]:
                    problem(f"trace {name} missing")
                    continue
                check_stack(source, dst["events"]["trace"][name], idx, "<f4")
                stacks.append((name, (1, source.shape[1]), "H5T_IEEE_F32LE"))
        elif "trace" in dst["events"]:
            problem("/events/trace written though not asked for")
    check_h5dump(args.export, stacks)

    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    print("OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())

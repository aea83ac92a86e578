#!/usr/bin/python3
# Checks exports against their source, independently of the exporter.
#
# usage: export_oracle.py rtdc|tsv|avi SOURCE EXPORT SPEC [EXPORT SPEC ...]
# Each SPEC is JSON: "indices" (the exported events) or "filter" {"mode":
# "AND"|"NOT", "rules": [{"feature", "min", "max", "inverted"}]} from which
# numpy selects them (a rule on a missing or short column takes no part; NOT
# keeps the events that fail); for rtdc "changed_name", for tsv "features",
# for avi "codec". Prints OK and exits 0, else lists every mismatch on stderr
# and exits 1.
import io
import json
import re
import subprocess
import sys

import cv2
import h5py
import numpy as np

problems = []
COPYABLE = (h5py.h5t.INTEGER, h5py.h5t.FLOAT, h5py.h5t.STRING, h5py.h5t.ENUM)
RECORDS = ("offline_filter:", "export:")
COUNT = "experiment:event count"


def check(ok, text):
    if not ok:
        problems.append(text)


def exported_events(src, spec):
    if "indices" in spec:
        return np.array(spec["indices"], dtype=int)
    n = len(src["events"]["area_um"])
    passing, usable = np.ones(n, dtype=bool), 0
    for rule in spec["filter"]["rules"]:
        column = src["events"].get(rule["feature"])
        if column is None or len(column) < n:
            continue
        v = column[:n].astype(np.float64)
        passing &= ((v >= rule["min"]) & (v <= rule["max"])) != rule.get("inverted", False)
        usable += 1
    keep = passing if spec["filter"]["mode"] == "AND" else ~passing
    return np.nonzero(keep if usable else np.ones(n, dtype=bool))[0]


# Root attributes of a copyable class keep their HDF5 datatype, shape and value
# (floats to 1e-7; "experiment:event count" the exported count), others are
# left out; the export record; every 1-D column
# contiguous '<f8' (NaN beyond a short column) and nothing made up; image and
# mask '|u1' in chunks (1, H, W), every trace of the source whatever its name
# '<f4' in chunks (1, L), gzip 4, as h5py and h5dump -H -p see them, holding
# the source's rows.
def check_rtdc(src, dst, path, idx, spec):
    for name in src.attrs:
        a = h5py.h5a.open(src.id, name.encode())
        if name.startswith(RECORDS) or a.get_type().get_class() not in COPYABLE:
            check(name.startswith(RECORDS) or name not in dst.attrs, f"{name!r} copied")
        elif name not in dst.attrs:
            problems.append(f"attribute {name!r} missing")
        else:
            b = h5py.h5a.open(dst.id, name.encode())
            ta, tb = a.get_type(), b.get_type()
            # H5Tequal does not compare the character set of strings.
            cset = [t.get_cset() if t.get_class() == h5py.h5t.STRING else 0 for t in (ta, tb)]
            check(ta.equal(tb) and cset[0] == cset[1] and a.shape == b.shape, f"{name!r}: type")
            x, y = np.asarray(src.attrs[name]), np.asarray(dst.attrs[name])
            if name == COUNT:
                # The file states the events it holds, in the source's own type.
                value = y.item()
                value = value.decode() if isinstance(value, bytes) else value
                check(float(value) == len(idx), f"{name!r}: {value!r} instead of {len(idx)}")
                continue
            same = np.allclose(x, y, rtol=1e-7, atol=0) if x.dtype.kind == "f" else \
                np.array_equal(x, y)
            check(same, f"attribute {name!r}: {y!r} instead of {x!r}")
    extra = [n for n in dst.attrs if n not in src.attrs and not n.startswith(RECORDS)]
    check(not extra, f"attributes from nowhere: {extra}")
    record = {n[7:]: dst.attrs[n] for n in dst.attrs if n.startswith("export:")}
    check(re.fullmatch(r"\d{4}-\d{2}-\d{2}", record.pop("date", "")), "export:date")
    want = {"event count": str(len(idx)), "changed sample name": spec.get("changed_name")}
    want = {k: v for k, v in want.items() if v is not None}
    check(record == want, f"export record {record} instead of {want}")

    events = src["events"]
    columns = [n for n, d in events.items() if isinstance(d, h5py.Dataset) and d.ndim == 1]
    extra = set(dst["events"]) - set(columns) - {"image", "mask", "trace"}
    check(not extra, f"datasets from nowhere: {extra}")
    for name in columns:
        d = dst["events"].get(name)
        if d is None:
            problems.append(f"feature {name!r} missing")
            continue
        check(d.dtype == "<f8" and d.chunks is None and d.compression is None, f"{name}: storage")
        v = events[name][:].astype(np.float64)
        want = np.array([v[i] if i < len(v) else np.nan for i in idx])
        check(np.array_equal(d[:], want, equal_nan=True), f"{name}: {d[:]} instead of {want}")

    stacks = [(k, "|u1", "H5T_STD_U8LE") for k in ("image", "mask")]
    stacks += [("trace/" + t, "<f4", "H5T_IEEE_F32LE") for t in events["trace"]]
    dump = subprocess.run(["h5dump", "-H", "-p", path], capture_output=True, text=True).stdout
    blocks = {b.split('"', 1)[0]: b for b in dump.split('DATASET "')[1:]}
    for name, dtype, h5type in stacks:
        s, d = events[name], dst["events"].get(name)
        if d is None:
            problems.append(f"{name} missing")
            continue
        chunk = (1,) + s.shape[1:]
        check(d.dtype == dtype and d.chunks == chunk and d.compression == "gzip" and
              d.compression_opts == 4, f"{name}: {d.dtype} {d.chunks} {d.compression_opts}")
        check(np.array_equal(d[:], s[:][idx].astype(dtype)), f"{name}: rows differ")
        block = blocks.get(name.split("/")[-1], "")
        for text in ("CHUNKED ( %s )" % ", ".join(map(str, chunk)), "DEFLATE { LEVEL 4 }", h5type):
            check(text in block, f"h5dump -H -p: {name} lacks {text}")


# The shortest text that reads back as v: numpy's unique digits in fixed or
# scientific notation, whichever is shorter (fixed on a tie).
def shortest(v):
    if np.isnan(v):
        return "nan"
    if np.isinf(v):
        return "inf" if v > 0 else "-inf"
    fixed = np.format_float_positional(v, unique=True, trim="-")
    scientific = np.format_float_scientific(v, unique=True, trim="-", exp_digits=2)
    return scientific if len(scientific) < len(fixed) else fixed


# After the "#" lines, the heading and one line per event; each cell is the
# shortest text of the h5py value, empty beyond a short column, and reads
# back as exactly that value; numpy reads the same numbers. The header's
# event count is the exported one.
def check_tsv(src, path, idx, spec):
    with open(path, encoding="utf-8", newline="") as handle:
        lines = handle.read().split("\n")
    check(lines.pop() == "", "no line feed at the end")
    if COUNT in src.attrs:
        check(f"# {COUNT} = {len(idx)}" in lines, f"header lacks '{COUNT} = {len(idx)}'")
    body = lines[[line.startswith("#") for line in lines].index(False) + 1:]
    columns = [src["events"][f][:].astype(np.float64) for f in spec["features"]]
    want = [[shortest(c[i]) if i < len(c) else "" for c in columns] for i in idx]
    got = [line.split("\t") for line in body]
    # Among texts of one length the exporter may pick others (an integer's
    # exact digits rather than trailing zeros): each reads back exactly.
    same = [len(g) == len(w) and (g == w or float(g) == float(w))
            for gs, ws in zip(got, want) for g, w in zip(gs, ws)]
    check(list(map(len, got)) == list(map(len, want)) and all(same),
          f"cells {got} instead of {want}")
    parsed = np.genfromtxt(io.StringIO("\n".join(body)), delimiter="\t", dtype=np.float64)
    numbers = np.array([[float(x) if x else np.nan for x in row] for row in want])
    check(np.array_equal(parsed.reshape(numbers.shape), numbers, equal_nan=True), "numpy")


# ffprobe -count_frames: one stream of the codec at 25/1 with the images' size
# and one frame per event; cv2: raw frames grey and equal to the images, MJPEG
# frames above 30 dB PSNR.
def check_avi(src, path, idx, spec):
    images = src["events"]["image"][:]
    probe = subprocess.run(
        ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v", "-show_entries",
         "stream=codec_name,width,height,r_frame_rate,nb_read_frames", "-of", "json", path],
        capture_output=True, text=True).stdout
    streams = json.loads(probe or "{}").get("streams")
    want = [{"codec_name": spec["codec"], "width": images.shape[2], "height": images.shape[1],
             "r_frame_rate": "25/1", "nb_read_frames": str(len(idx))}]
    check(streams == want, f"ffprobe: {streams} instead of {want}")
    capture = cv2.VideoCapture(path)
    for n, event in enumerate(idx):
        ok, frame = capture.read()
        if not ok:
            problems.append(f"cv2 cannot read frame {n}")
            break
        if spec["codec"] == "rawvideo":
            check((frame == images[event][:, :, None]).all(), f"frame {n} is not image {event}")
        else:
            grey = cv2.cvtColor(frame, cv2.COLOR_BGR2GRAY).astype(np.float64)
            mse = np.mean((grey - images[event]) ** 2)
            check(mse == 0 or 10 * np.log10(255.0 ** 2 / mse) > 30, f"frame {n}: PSNR")


def main(kind, source, *exports):
    with h5py.File(source, "r") as src:
        for export, spec in zip(exports[::2], map(json.loads, exports[1::2])):
            idx, first = exported_events(src, spec), len(problems)
            if kind == "rtdc":
                with h5py.File(export, "r") as dst:
                    check_rtdc(src, dst, export, idx, spec)
            else:
                (check_tsv if kind == "tsv" else check_avi)(src, export, idx, spec)
            problems[first:] = [f"{export}: {text}" for text in problems[first:]]
    print("\n".join(problems) or "OK", file=sys.stderr if problems else sys.stdout)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))

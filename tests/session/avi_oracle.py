#!/usr/bin/python3
"""Checks an AVI export against its source with ffprobe and OpenCV.

usage: avi_oracle.py SOURCE AVI --indices 0,2,3 --codec rawvideo|mjpeg

ffprobe -count_frames must report one video stream of the given codec at
25/1 frames per second, the source's frame width and height, and exactly
as many frames as events listed. For rawvideo every frame read by cv2 must
have equal B, G and R channels equal to the source image of its event byte
for byte; for mjpeg the PSNR of its grey conversion against that image must
exceed 30 dB. Prints OK and exits 0, else lists mismatches on stderr.
"""
import argparse
import json
import subprocess
import sys

import cv2
import h5py
import numpy as np


def psnr(a, b):
    mse = np.mean((a.astype(np.float64) - b.astype(np.float64)) ** 2)
    return float("inf") if mse == 0 else 10.0 * np.log10(255.0 ** 2 / mse)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("avi")
    parser.add_argument("--indices", required=True)
    parser.add_argument("--codec", required=True)
    args = parser.parse_args()
    idx = [int(i) for i in args.indices.split(",") if i]
    problems = []

    with h5py.File(args.source, "r") as src:
        images = src["events"]["image"][:]
    height, width = images.shape[1:]

    probe = subprocess.run(
        ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v", "-show_entries",
         "stream=codec_name,width,height,r_frame_rate,nb_read_frames", "-of", "json", args.avi],
        capture_output=True, text=True)
    streams = json.loads(probe.stdout or "{}").get("streams", [])
    if len(streams) != 1:
        problems.append(f"{len(streams)} video streams: {probe.stderr}")
    else:
        s = streams[0]
        wanted = {"codec_name": args.codec, "width": width, "height": height,
                  "r_frame_rate": "25/1", "nb_read_frames": str(len(idx))}
        for key, value in wanted.items():
            if s.get(key) != value:
                problems.append(f"ffprobe {key} = {s.get(key)!r}, expected {value!r}")

    capture = cv2.VideoCapture(args.avi)
    for n, event in enumerate(idx):
        ok, frame = capture.read()
        if not ok:
            problems.append(f"cv2 could not read frame {n}")
            break
        if args.codec == "rawvideo":
            grey = frame[:, :, 0]
            if not (np.array_equal(grey, frame[:, :, 1]) and np.array_equal(grey, frame[:, :, 2])):
                problems.append(f"frame {n} is not grey")
            if not np.array_equal(grey, images[event]):
                problems.append(f"frame {n} differs from the image of event {event}")
        else:
            grey = cv2.cvtColor(frame, cv2.COLOR_BGR2GRAY)
            if psnr(grey, images[event]) <= 30.0:
                problems.append(f"frame {n}: PSNR {psnr(grey, images[event]):.1f} dB")
    if capture.read()[0]:
        problems.append("cv2 reads more frames than expected")

    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    print("OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())

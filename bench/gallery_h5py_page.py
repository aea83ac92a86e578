"""h5py + numpy reference for bench_gallery's page of 400 tiles spread through
the file (every STRIDE-th event): read the page's frames, cut a 64 x 64 tile
around each event's position (black outside the frame) and apply the
contrast window 60..140, as the gallery does. The frames are read in one
h5py selection (sorted, so each chunk is inflated once; h5py's fastest
way), the positions once outside the timing. Pages turn as bench_gallery's
do; one untimed page first. Prints the median milliseconds per page, then a
line with the minimum and maximum.

  /usr/bin/python3 bench/gallery_h5py_page.py FILE [STRIDE] [PAGES]
"""
import statistics
import sys
import time

import h5py
import numpy as np

PAGE = 400
SIDE = 64
PIXEL_SIZE = 0.34
LO, HI = 60, 140


def contrast_table():
    p = np.arange(256, dtype=np.float64)
    # Half away from zero, as the gallery rounds; negative values clamp to 0.
    scaled = np.floor((p - LO) * 255.0 / (HI - LO) + 0.5)
    return np.clip(scaled, 0, 255).astype(np.uint8)


def selection_frames(images, indices):
    unique = np.unique(indices)
    frames = images[unique]  # one selection: every chunk inflated once
    where = np.searchsorted(unique, indices)
    return [frames[w] for w in where]


def frame_by_frame(images, indices):
    return [images[i] for i in indices]


def render(read, images, pos_x, pos_y, indices, table):
    frames = read(images, indices)
    height, width = frames[0].shape
    tiles = []
    for k, event in enumerate(indices):
        frame = frames[k]
        cx = int(pos_x[event] / PIXEL_SIZE)
        cy = int(pos_y[event] / PIXEL_SIZE)
        x0, y0 = cx - SIDE // 2, cy - SIDE // 2
        tile = np.zeros((SIDE, SIDE), np.uint8)
        left, right = max(x0, 0), min(x0 + SIDE, width)
        top, bottom = max(y0, 0), min(y0 + SIDE, height)
        if right > left and bottom > top:
            tile[top - y0:bottom - y0, left - x0:right - x0] = frame[top:bottom, left:right]
        tiles.append(table[tile])
    return tiles


def main():
    path = sys.argv[1]
    stride = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    table = contrast_table()
    with h5py.File(path, "r") as f:
        pos_x = f["events/pos_x"][()]
        pos_y = f["events/pos_y"][()]
        span = PAGE * stride
        pages = f["events/image"].shape[0] // span
    page_indices = [np.arange(PAGE) * stride + p * span for p in range(pages)]
    two_chunks = 2 * 100 * 80 * 250
    results = {}
    for label, read, cache in (("selection", selection_frames, None),
                               ("frame by frame", frame_by_frame, two_chunks)):
        options = {} if cache is None else {"rdcc_nbytes": cache, "rdcc_nslots": 521}
        with h5py.File(path, "r", **options) as f:  # untimed
            render(read, f["events/image"], pos_x, pos_y, page_indices[0], table)
        times = []
        for n in range(count):
            with h5py.File(path, "r", **options) as f:
                images = f["events/image"]
                start = time.perf_counter()
                tiles = render(read, images, pos_x, pos_y, page_indices[n % pages], table)
                times.append(time.perf_counter() - start)
            assert len(tiles) == PAGE
        results[label] = times
    best = min(results.values(), key=statistics.median)
    print("%.3f" % (statistics.median(best) * 1e3))
    print("selection %.3f, frame by frame %.3f; faster min %.3f max %.3f"
          % (statistics.median(results["selection"]) * 1e3,
             statistics.median(results["frame by frame"]) * 1e3, min(best) * 1e3, max(best) * 1e3))

if __name__ == "__main__":
    main()

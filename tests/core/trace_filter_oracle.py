#!/usr/bin/python3
"""Reference values for test_trace_filter.cpp, computed independently with
numpy/scipy. Run with Debian's interpreter:

    /usr/bin/python3 tests/core/trace_filter_oracle.py

The medians follow the trace filter's convention: the element at position
count // 2 of the sorted window (the upper middle one for even counts), not
numpy's mean of the two middle values.
"""
import numpy as np
from scipy.signal import savgol_coeffs

np.set_printoptions(precision=9, floatmode="maxprec", linewidth=100)


def upper_median(values):
    values = np.sort(values)
    return values[len(values) // 2]


def hampel(x, w, k):
    n = len(x)
    out = x.copy()
    for i in range(n):
        win = x[max(0, i - w):min(n - 1, i + w) + 1]
        med = upper_median(win)
        mad = upper_median(np.abs(win - med))
        s = np.float32(mad) * np.float32(1.4826)
        if s > 0 and abs(x[i] - med) > np.float32(k) * s:
            out[i] = med
    return out


def smooth(x, m):
    """Interior samples by quadratic Savitzky-Golay, ends unchanged."""
    out = x.copy()
    if 2 * m >= len(x):
        return out
    coeffs = savgol_coeffs(2 * m + 1, 2)
    out[m:len(x) - m] = np.convolve(x.astype(np.float64), coeffs, mode="valid")
    return out


def moving_average(x, w):
    n = len(x)
    return np.array([np.mean(x[max(0, i - w):min(n - 1, i + w) + 1].astype(np.float64))
                     for i in range(n)], dtype=np.float32)


# A fluorescence-like pulse with a baseline, two spikes and a dropout.
row = np.array([2, 3, 2, 4, 3, 2, 60, 3, 5, 9, 16, 25, 34, 41, 44, 42, 36, 27, 18,
                11, 6, 4, 3, -40, 2, 3, 2, 4, 3, 2], dtype=np.float32)

print("savgol_coeffs(2m+1, 2) for m = 2..5:")
for m in (2, 3, 4, 5):
    print(m, savgol_coeffs(2 * m + 1, 2))

print("hampel(row, 2, 3.0):", hampel(row, 2, 3.0))
print("smooth(row, 3):", smooth(row, 3))
print("moving_average(row, 2):", moving_average(row, 2))
# The default settings: Hampel (5, 3.0), Hampel (11, 3.0), smoothing 3.
print("defaults:", smooth(hampel(hampel(row, 5, 3.0), 11, 3.0), 3))

#!/usr/bin/python3
"""Smallest two-sided p-value of the Wilcoxon signed-rank test with n pairs
(W = 0) in the normal approximation, for n = 1..10:

    p_min = erfc(z / sqrt(2)),  z = (n(n+1)/4) / sqrt(n(n+1)(2n+1)/24)

computed with Python's math.erfc. Prints one line "PMIN n | p" per n.
"""
import math

for n in range(1, 11):
    mean = n * (n + 1) / 4.0
    sd = math.sqrt(n * (n + 1) * (2 * n + 1) / 24.0)
    print(f"PMIN {n} | {math.erfc(mean / sd / math.sqrt(2.0)):.17g}")

#!/usr/bin/python3
"""Viscosity models of the measurement media, transcribed with numpy.

Usage: /usr/bin/python3 viscosity_oracle.py CASES

CASES holds rows "medium T channel_width flow_rate" (T in degrees Celsius,
width in um, flow rate in uL/s). Prints per row three repr'd values in mPa s:
Kestin 1978 (water, T only), Herold 2017 and Buyukurganci 2022.
"""
import sys

import numpy as np


def kestin_1978(t):
    delta = 20.0 - t
    return 1.002 * np.power(10.0, delta / (t + 96.0) * (1.2364 - 0.00137 * delta + 5.7e-6 * delta**2))


def herold_2017(medium, t, width, flow):
    shear = 2.0 * (7.1136 * flow * 1e-9) / np.power(width * 1e-6, 3.0) / 3.0
    if medium == 0:
        return np.power(t / 23.2, -0.866) * 0.179 * np.power(1.6707050335189184 * shear, 0.677 - 1.0) * 1000.0
    return np.power(t / 23.6, -0.866) * 0.36 * np.power(1.706549572791479 * shear, -0.366) * 1000.0


def buyukurganci_2022(medium, t, width, flow):
    kelvin = t + 273.15
    a, b = {0: (2.3e-6, -0.0056), 3: (1.652e-5, -0.1455)}.get(medium, (5.7e-6, -0.0744))
    k = a * np.exp(3379.7 / kelvin)
    n = 0.00223 * kelvin + b
    w = width * 0.001
    shear = 8.0 * flow / np.power(w, 3.0) * (0.2121 / n + 0.6671)
    return k * np.power(shear, n - 1.0) * 1000.0


def main():
    cases = np.loadtxt(sys.argv[1], ndmin=2)
    for medium, t, width, flow in cases:
        medium = int(medium)
        values = (kestin_1978(t), herold_2017(medium, t, width, flow),
                  buyukurganci_2022(medium, t, width, flow))
        print(" ".join(repr(float(v)) for v in values))


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""The layout's power tables, computed anew with 60-digit decimal arithmetic
and rounded to the nearest double, one line per table:

    INVC  v0 v1 ... v255    1 / c_j, c_j = 1 + (j + 1/2) / 256
    LOGC  v0 v1 ... v255    -ln(INVC[j]) of the double INVC[j]
    EXP2  v0 v1 ... v255    2^(j / 256)

Values are printed as float.hex() text, exact. Run with /usr/bin/python3.
"""
from decimal import Decimal, getcontext
from fractions import Fraction

getcontext().prec = 60


def nearest_double(value):
    """The double nearest to a Decimal (ties to even), via exact fractions."""
    return float(Fraction(value))


def main():
    inv = [nearest_double(Decimal(1) / (Decimal(1) + (Decimal(j) + Decimal("0.5")) / 256))
           for j in range(256)]
    log = [nearest_double(-Decimal(Fraction(v).numerator).ln()
                          + Decimal(Fraction(v).denominator).ln()) for v in inv]
    exp2 = [nearest_double((Decimal(2).ln() * Decimal(j) / 256).exp()) for j in range(256)]
    for name, values in (("INVC", inv), ("LOGC", log), ("EXP2", exp2)):
        print(name, " ".join(v.hex() for v in values))


if __name__ == "__main__":
    main()

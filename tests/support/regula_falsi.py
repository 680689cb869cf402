#!/usr/bin/python3
"""Independent inverse of a calibration curve for chosen counts.

usage: regula_falsi.py exp A g1 g2 g3 f1 f2 -- COUNT...
       regula_falsi.py exp4 A a1 a2 a3 b1 b2 b3 b4 -- COUNT...
Prints one x per count (repr, so every bit survives). The forward curves
use math.exp, the platform's libm, so that the comparison can be exact.
"""
import math
import sys


def curve(kind, p):
    if kind == "exp":
        A, g1, g2, g3, f1, f2 = p
        return (lambda x: A * (f1 * math.exp(-g1 * x) + f2 * math.exp(-g2 * x)
                               + (1 - f1 - f2) * math.exp(-g3 * x))), (0.0, 40.0)
    A, a1, a2, a3, b1, b2, b3, b4 = p
    return (lambda x: A * (a1 * math.exp(-b1 * x) + a2 * math.exp(-b2 * x) + a3 * math.exp(-b3 * x)
                           + (1 - a1 - a2 - a3) * math.exp(-b4 * x))), (0.0, 35.0)


def invert(f, y, lo, hi):
    f_lo, f_hi = f(lo), f(hi)
    if f_lo < f_hi:
        s = 1.0
        if y < f_lo:
            return lo
        if y > f_hi:
            return hi
    else:
        s = -1.0
        if y > f_lo:
            return lo
        if y < f_hi:
            return hi
    while True:
        x = lo + (y - f_lo) / (f_hi - f_lo) * (hi - lo)
        fx = f(x)
        if s * (fx - y) > 0:
            hi, f_hi = x, fx
        else:
            lo, f_lo = x, fx
        if not abs(fx - y) > 0.1:
            return x


def main(argv):
    sep = argv.index("--")
    kind, params, counts = argv[0], [float(v) for v in argv[1:sep]], argv[sep + 1:]
    f, (lo, hi) = curve(kind, params)
    for c in counts:
        print(repr(invert(f, float(int(c)), lo, hi)))


if __name__ == "__main__":
    main(sys.argv[1:])

"""The same operations on the same data with Debian's numpy, scipy and
OpenCV, timed in the same run as our kernels. Prints a JSON object
{operation key: {peer: median seconds}}.

Usage: /usr/bin/python3 bench/peers.py DATA_DIR [OUT_FILE]
"""
import json
import os
import re
import statistics
import sys
import timeit

import numpy as np

try:
    import scipy.fft
    import scipy.linalg
    import scipy.ndimage
except ImportError:  # the table then just lacks the scipy column
    scipy = None
try:
    import cv2
except ImportError:
    cv2 = None

N = 512
DATA = sys.argv[1]
PEERS = {}  # key -> {peer: callable}, filled by @peer


def peer(key, lib):
    def register(fn):
        PEERS.setdefault(key, {})[lib] = fn
        return fn
    return register


def path(name):
    return os.path.join(DATA, name)


def read_his(name):
    return np.fromfile(path(name), dtype="<u2", offset=100).reshape(N, N).copy()


def read_gnuplot(name):
    return np.fromfile(path(name), dtype="<f4").reshape(N + 1, N + 1)[1:, 1:].copy()


def numbers(name):
    with open(path(name)) as f:
        return np.array([float(v) for v in f.read().split()])


def median_time(fn):
    """Median seconds per call over batches of about 1 ms (at least one
    call): short batches keep the median clear of other processes' bursts
    on a shared machine."""
    timer = timeit.Timer(fn)
    once = min(timer.repeat(repeat=3, number=1))
    number = max(1, int(0.001 / max(once, 1e-7)))
    repeat = 7 if once > 0.02 else 31
    return statistics.median(t / number for t in timer.repeat(repeat=repeat, number=number))


A = read_his("a.his")
B = read_his("b.his")
FA = (A / 65535.0).astype(np.float32)
FB = (B / 65535.0).astype(np.float32)
NEAR1 = read_gnuplot("near1.gp")
SCRATCH = path("scratch-peers")

# ------------------------------------------------------------ the floor
_src, _dst = np.ones(1 << 20, np.uint8), np.empty(1 << 20, np.uint8)


@peer("memcpy_1MiB", "numpy")
def _():
    np.copyto(_dst, _src)


# ------------------------------------------- in-place arithmetic, 16 bit
# numpy's uint16 arithmetic wraps like ours; its floor division by zero
# gives 0 where ours keeps the pixel (B has no zeros, so the work is the same).
a16 = A.copy()
u = np.uint16
peer("b16_assign_img", "numpy")(lambda: np.copyto(a16, B))
peer("b16_fill", "numpy")(lambda: a16.fill(1234))
peer("b16_add_img", "numpy")(lambda: np.add(a16, B, out=a16))
peer("b16_add_val", "numpy")(lambda: np.add(a16, u(1234), out=a16))
peer("b16_sub_img", "numpy")(lambda: np.subtract(a16, B, out=a16))
peer("b16_sub_val", "numpy")(lambda: np.subtract(a16, u(1234), out=a16))
peer("b16_mul_img", "numpy")(lambda: np.multiply(a16, B, out=a16))
peer("b16_mul_val", "numpy")(lambda: np.multiply(a16, u(3), out=a16))
peer("b16_div_img", "numpy")(lambda: np.floor_divide(a16, B, out=a16))
peer("b16_div_val", "numpy")(lambda: np.floor_divide(a16, u(3), out=a16))

# ------------------------------------------------ in-place arithmetic, float
fa = FA.copy()
f = np.float32
peer("f_assign_img", "numpy")(lambda: np.copyto(fa, FB))
peer("f_fill", "numpy")(lambda: fa.fill(0.25))
peer("f_add_img", "numpy")(lambda: np.add(fa, FB, out=fa))
peer("f_add_val", "numpy")(lambda: np.add(fa, f(0.25), out=fa))
peer("f_sub_img", "numpy")(lambda: np.subtract(fa, FB, out=fa))
peer("f_sub_val", "numpy")(lambda: np.subtract(fa, f(0.25), out=fa))
peer("f_mul_img", "numpy")(lambda: np.multiply(fa, NEAR1, out=fa))
peer("f_mul_val", "numpy")(lambda: np.multiply(fa, f(1.0000001), out=fa))
peer("f_div_img", "numpy")(lambda: np.divide(fa, NEAR1, out=fa))
peer("f_div_val", "numpy")(lambda: np.divide(fa, f(1.0000001), out=fa))

# ------------------------------------------------------------ conversions
fc = np.empty((N, N), np.float32)
b16 = np.empty((N, N), np.uint16)
d64 = np.empty((N, N), np.float64)


@peer("conv_from_bild16", "numpy")
def _():
    # count / 65535 in double, rounded to float: the same rule as ours
    np.divide(A, 65535.0, out=fc, casting="unsafe")


@peer("conv_fromfloat", "numpy")
def _():
    # v * 65535 / max in double, clipped, NaN to 0, truncated
    np.multiply(FA, 65535.0, out=d64)
    np.divide(d64, 1.0, out=d64)
    np.nan_to_num(d64, copy=False, nan=0.0)
    np.clip(d64, 0.0, 65535.0, out=d64)
    np.copyto(b16, d64, casting="unsafe")


# ------------------------------------------------------------------ files
HIS_HEADER = bytes(100)


@peer("his_write", "numpy")
def _():
    with open(SCRATCH + ".his", "wb") as fh:
        fh.write(HIS_HEADER)
        A.astype("<u2", copy=False).tofile(fh)


peer("his_read", "numpy")(lambda: np.fromfile(path("a.his"), dtype="<u2", offset=100).reshape(N, N))

gp = np.zeros((N + 1, N + 1), "<f4")
gp[0, 0] = N
gp[0, 1:] = gp[1:, 0] = (np.arange(N) * np.float64(np.float32(0.36396602))).astype(np.float32)


@peer("gnuplot_write", "numpy")
def _():
    gp[1:, 1:] = FA
    gp.tofile(SCRATCH + ".gp")


peer("gnuplot_read", "numpy")(
    lambda: np.fromfile(path("near1.gp"), dtype="<f4").reshape(N + 1, N + 1)[1:, 1:].copy())

PGM16_HEADER = b"P5\n512 512\n65535\n"


@peer("pgm16_write", "numpy")
def _():
    with open(SCRATCH + ".pgm", "wb") as fh:
        fh.write(PGM16_HEADER)
        A.astype(">u2").tofile(fh)


with open(SCRATCH + "-r.pgm", "wb") as fh:
    fh.write(PGM16_HEADER)
    A.astype(">u2").tofile(fh)


@peer("pgm16_read", "numpy")
def _():
    with open(SCRATCH + "-r.pgm", "rb") as fh:
        head = fh.read(len(PGM16_HEADER))
        assert head.split()[0] == b"P5"
        return np.fromfile(fh, dtype=">u2").reshape(N, N).astype(np.uint16)


def main():
    only = os.environ.get("QUENZ_BENCH_FILTER")
    results = {}
    for key, libs in PEERS.items():
        if only and not re.search(only, key):
            continue
        for lib, fn in libs.items():
            results.setdefault(key, {})[lib] = median_time(fn)
        print(key, " ".join(f"{lib}={t * 1e6:.1f}us" for lib, t in results[key].items()),
              file=sys.stderr, flush=True)
    text = json.dumps(results, indent=1, sort_keys=True)
    if len(sys.argv) > 2:
        with open(sys.argv[2], "w") as fh:
            fh.write(text + "\n")
    else:
        print(text)
    for name in os.listdir(DATA):
        if name.startswith("scratch-peers"):
            os.remove(path(name))


if __name__ == "__main__":
    main()

"""Writes the benchmark's input files, so that our kernels, the Tcl timings
and the peers all work on the same numbers.

Usage: /usr/bin/python3 bench/data.py DIR
"""
import os
import sys

import numpy as np

N = 512
REFW = [0.05, 0.25, 0.5, 0.75, 0.95]
KERNEL_SIZES = [3, 5, 11, 21]


def write_his(path, counts):
    header = np.zeros(100, np.uint8)
    with open(path, "wb") as f:
        f.write(header.tobytes())
        f.write(counts.astype("<u2").tobytes())


def write_gnuplot(path, img):
    m = np.zeros((N + 1, N + 1), "<f4")
    m[0, 0] = N
    axis = (np.arange(N, dtype=np.float64) * np.float64(np.float32(0.36396602))).astype(np.float32)
    m[0, 1:] = axis
    m[1:, 0] = axis
    m[1:, 1:] = img
    m.tofile(path)


def kernel(size):
    """A smooth, positive, non-symmetric kernel (so no peer can exploit
    symmetry or separability that our exact order cannot)."""
    y, x = np.mgrid[0:size, 0:size]
    return (1.0 + ((3 * x + 5 * y) % 7) / 7.0 + 0.01 * x).astype(np.float32)


def main(out):
    os.makedirs(out, exist_ok=True)
    rng = np.random.default_rng(20240611)
    a = rng.integers(0, 65536, (N, N), dtype=np.uint16)
    b = rng.integers(1, 65536, (N, N), dtype=np.uint16)  # a divisor without zeros
    write_his(os.path.join(out, "a.his"), a)
    write_his(os.path.join(out, "b.his"), b)
    # Factors near 1: repeated in-place *= and /= stay normal numbers.
    near1 = (1.0 + (rng.random((N, N)) - 0.5) * 1e-6).astype(np.float32)
    write_gnuplot(os.path.join(out, "near1.gp"), near1)

    # Reference exposures of a detector with a per-pixel gain and a soft
    # saturation, plus noise: a well-posed fit at every pixel.
    gain = 0.8 + 0.2 * rng.random((N, N))
    for j, w in enumerate(REFW):
        c = 60000.0 * (1.0 - np.exp(-2.0 * w * gain)) / (1.0 - np.exp(-2.0)) + rng.normal(0, 30, (N, N))
        write_his(os.path.join(out, f"ref{j}.his"), np.clip(np.rint(c), 0, 65535).astype(np.uint16))
    with open(os.path.join(out, "refw.txt"), "w") as f:
        f.write(" ".join(str(w) for w in REFW) + "\n")

    # One hexagonal Voronoi cell around the image centre (and a neighbour).
    with open(os.path.join(out, "cells.txt"), "w") as f:
        for cx, cy in ((256.0, 256.0), (300.0, 256.0)):
            corners = [(cx + 20 * np.cos(np.pi / 3 * i), cy + 20 * np.sin(np.pi / 3 * i)) for i in range(6)]
            f.write(f"{cx} {cy} 6 " + " ".join(f"{x:.3f} {y:.3f}" for x, y in corners) + "\n")

    for s in KERNEL_SIZES:
        with open(os.path.join(out, f"kernel{s}.txt"), "w") as f:
            f.write(" ".join(repr(float(v)) for v in kernel(s).ravel()) + "\n")


if __name__ == "__main__":
    main(sys.argv[1])

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


@peer("pgm8_write", "numpy")
def _():
    with open(SCRATCH + "-8.pgm", "wb") as fh:
        fh.write(b"P5\n512 512\n255\n")
        (A >> 8).astype(np.uint8).tofile(fh)


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


# ---------------------------------------------- formats for other programs
try:
    import tifffile
except ImportError:  # the table then just lacks the tifffile column
    tifffile = None

FA32 = FA.astype("<f4")
for name, arr in [("r16", A), ("rf", FA32)]:
    np.save(SCRATCH + "-" + name + ".npy", arr)
peer("npy16_write", "numpy")(lambda: np.save(SCRATCH + "-w16.npy", A))
peer("npy16_read", "numpy")(lambda: np.load(SCRATCH + "-r16.npy"))
peer("npy_float_write", "numpy")(lambda: np.save(SCRATCH + "-wf.npy", FA32))
peer("npy_float_read", "numpy")(lambda: np.load(SCRATCH + "-rf.npy"))
if tifffile:
    tifffile.imwrite(SCRATCH + "-r16.tif", A)
    tifffile.imwrite(SCRATCH + "-r16z.tif", A, compression="zlib", predictor=True, rowsperstrip=32)
    tifffile.imwrite(SCRATCH + "-rf.tif", FA32)
    peer("tiff16_write", "tifffile")(lambda: tifffile.imwrite(SCRATCH + "-w16.tif", A))
    peer("tiff16_read", "tifffile")(lambda: tifffile.imread(SCRATCH + "-r16.tif"))
    peer("tiff16_deflate_write", "tifffile")(
        lambda: tifffile.imwrite(SCRATCH + "-w16z.tif", A, compression="zlib", predictor=True, rowsperstrip=32))
    peer("tiff16_deflate_read", "tifffile")(lambda: tifffile.imread(SCRATCH + "-r16z.tif"))
    peer("tiff_float_write", "tifffile")(lambda: tifffile.imwrite(SCRATCH + "-wf.tif", FA32))
    peer("tiff_float_read", "tifffile")(lambda: tifffile.imread(SCRATCH + "-rf.tif"))


# ------------------------------------------------------ calibration curves
def regula_falsi_table(f, lo_x, hi_x):
    """The inverse table by the same plain false-position iteration as
    ours (stop when |f(x) - y| <= 0.1, at most 10000 steps), vectorised over
    the 65536 counts; counts outside the curve clamp to the nearer end."""
    y = np.arange(65536, dtype=np.float64)
    out = np.empty_like(y)
    f_lo, f_hi = f(lo_x), f(hi_x)
    s = 1.0 if f_lo < f_hi else -1.0
    below, above = (y < f_lo, y > f_hi) if s > 0 else (y > f_lo, y < f_hi)
    out[below], out[above] = lo_x, hi_x
    a = np.nonzero(~below & ~above)[0]
    lo, hi = np.full(a.size, lo_x), np.full(a.size, hi_x)
    flo, fhi, ya = np.full(a.size, f_lo), np.full(a.size, f_hi), y[a]
    for _ in range(10000):
        if a.size == 0:
            break
        x = lo + (ya - flo) / (fhi - flo) * (hi - lo)
        fx = f(x)
        up = s * (fx - ya) > 0
        hi, fhi = np.where(up, x, hi), np.where(up, fx, fhi)
        lo, flo = np.where(up, lo, x), np.where(up, flo, fx)
        done = ~(np.abs(fx - ya) > 0.1)
        out[a[done]] = x[done]
        keep = ~done
        a, lo, hi, flo, fhi, ya = a[keep], lo[keep], hi[keep], flo[keep], fhi[keep], ya[keep]
    return out


def expkurve(A, g1, g2, g3, f1, f2):
    return lambda x: A * (f1 * np.exp(-g1 * x) + f2 * np.exp(-g2 * x) + (1 - f1 - f2) * np.exp(-g3 * x))


def exp4kurve(A, a1, a2, a3, b1, b2, b3, b4):
    return lambda x: A * (a1 * np.exp(-b1 * x) + a2 * np.exp(-b2 * x) + a3 * np.exp(-b3 * x)
                          + (1 - a1 - a2 - a3) * np.exp(-b4 * x))


EXP = expkurve(60000, 0.5, 0.05, 2.0, 0.3, 0.3)
peer("expkurve_table", "numpy")(lambda: regula_falsi_table(EXP, 0.0, 40.0))
peer("exp4kurve_table", "numpy")(
    lambda: regula_falsi_table(exp4kurve(60000, 0.3, 0.3, 0.2, 2.0, 0.5, 0.1, 0.02), 0.0, 35.0))
TABLE = regula_falsi_table(EXP, 0.0, 40.0)
cal = np.empty((N, N), np.float32)


@peer("apply_eichkurve", "numpy")
def _():
    # clamp, count = trunc(v * 65535) in double, look up
    idx = np.clip(FA.astype(np.float64) * 65535.0, 0, 65535).astype(np.intp)
    np.take(TABLE, idx, out=d64)
    np.copyto(cal, d64, casting="unsafe")


# ------------------------------------------------------------------ filters
KERNELS = {s: numbers(f"kernel{s}.txt").astype(np.float32).reshape(s, s) for s in (3, 5, 11, 21)}


def gaussian_kernel(radius):
    n = int(radius)
    d = np.arange(-n, n + 1)
    q = (-(d[:, None] ** 2 + d[None, :] ** 2)).astype(np.float32) / np.float32(radius)
    return np.exp(q).astype(np.float32)


conv_out = np.empty((N, N), np.float32)


def filter_peers(key, k):
    k = (k / k.sum(dtype=np.float32)).astype(np.float32)
    if scipy:
        peer(key, "scipy")(lambda: scipy.ndimage.correlate(FA, k, output=conv_out, mode="constant"))
    if cv2:
        peer(key, "OpenCV")(lambda: cv2.filter2D(FA, -1, k, dst=conv_out, borderType=cv2.BORDER_CONSTANT))


def gaussian_peers(radius):
    """What a user who wants a Gaussian reaches for: OpenCV's GaussianBlur
    (sigma from our kernel exp(-r^2/radius): sigma^2 = radius/2, the same
    window) and sepFilter2D with our kernel's 1-D factor. Both are
    separable, two 1-D passes: their sums run in another order than our
    2-D kernel's and differ from ours in the last bits."""
    key, n = f"gaussian_{radius:g}", int(radius)
    filter_peers(key, gaussian_kernel(radius))
    PEERS[key]["OpenCV:filter2D"] = PEERS[key].pop("OpenCV", None)
    d = np.arange(-n, n + 1)
    k1 = np.exp((-(d * d)).astype(np.float32) / np.float32(radius)).astype(np.float32)
    k1 = (k1 / k1.sum(dtype=np.float32)).astype(np.float32)
    sigma = float(np.sqrt(radius / 2.0))
    blur = lambda: cv2.GaussianBlur(FA, (2 * n + 1, 2 * n + 1), sigma, dst=conv_out, sigmaY=sigma,
                                    borderType=cv2.BORDER_CONSTANT)
    sep = lambda: cv2.sepFilter2D(FA, -1, k1, k1, dst=conv_out, borderType=cv2.BORDER_CONSTANT)
    full = cv2.filter2D(FA, -1, (gaussian_kernel(radius) / gaussian_kernel(radius).sum(dtype=np.float32))
                        .astype(np.float32), borderType=cv2.BORDER_CONSTANT)
    for name, fn in (("GaussianBlur", blur), ("sepFilter2D", sep)):
        got = fn().copy()
        inner = (slice(n, N - n), slice(n, N - n))
        assert np.allclose(got[inner], full[inner], rtol=1e-5, atol=1e-6), name  # the same filter
        peer(key, f"OpenCV:{name}")(fn)


for s, k in KERNELS.items():
    filter_peers(f"convolve_{s}", k)
for r in (2.7, 10):
    if cv2:
        gaussian_peers(r)
    else:
        filter_peers(f"gaussian_{r:g}", gaussian_kernel(r))

# The FFT in double precision, as ours computes it; one worker.
C128 = FA.astype(np.complex128)
if scipy:
    peer("fft_forward", "scipy")(lambda: scipy.fft.fftshift(scipy.fft.fft2(C128, workers=1)))
    peer("fft_backward", "scipy")(lambda: scipy.fft.ifft2(scipy.fft.ifftshift(C128), workers=1))
peer("fft_forward", "numpy")(lambda: np.fft.fftshift(np.fft.fft2(C128)))
peer("fft_backward", "numpy")(lambda: np.fft.ifft2(np.fft.ifftshift(C128)))

C64 = FA.astype(np.complex64)
_yy, _xx = np.mgrid[0:N, 0:N].astype(np.float32)


@peer("hamming_window", "numpy")
def _():
    # the squared radial Hamming profile computed per pixel as ours does:
    # the radius in single precision, the cosine in double
    rho = np.sqrt((_xx - 256.0) ** 2 + (_yy - 256.0) ** 2).astype(np.float64)
    w = (0.54 + 0.46 * np.cos(np.pi * rho / 220.0)) ** 2 * 2.36961606240022
    w[rho >= 220.0] = 0.0
    C64.__imul__(w.astype(np.float32))


# ------------------------------------------------------------------ surface
_D = 2.0 * np.float64(np.float32(0.36396602))


@peer("surface_put", "numpy")
def _():
    f = FA.astype(np.float64)
    gx = (f[1:-1, 2:] - f[1:-1, :-2]) / _D
    gy = (f[2:, 1:-1] - f[:-2, 1:-1]) / _D
    return np.sqrt(1.0 + gx * gx + gy * gy).sum()


# ---------------------------------------------------------------- the fits
REFW = numbers("refw.txt")
REFS = np.stack([read_his(f"ref{j}.his").ravel() for j in range(5)], -1) / 65535.0  # (P, 5)
RW = REFW.astype(np.float32).astype(np.float64)


def qr_batched(order):
    """numpy's stacked QR, then the triangular systems by np.linalg.solve."""
    A = REFS[:, :, None] ** np.arange(order)
    q, r = np.linalg.qr(A)
    qtb = np.einsum("pmk,m->pk", q, RW)
    return np.linalg.solve(r, qtb[:, :, None])[:, :, 0].astype(np.float32)


def qr_householder(order):
    """Householder QR written out column by column, each step vectorised
    over all pixels (arrays of one value per pixel), then back substitution."""
    m = REFS.shape[1]
    a = [[REFS[:, i] ** k for k in range(order)] for i in range(m)]  # a[row][col] -> (P,)
    b = [np.full(REFS.shape[0], RW[i]) for i in range(m)]
    for k in range(order):
        norm = np.sqrt(sum(a[i][k] ** 2 for i in range(k, m)))
        alpha = np.where(a[k][k] > 0, -norm, norm)
        v = [a[i][k] - (alpha if i == k else 0.0) for i in range(k, m)]
        vv = sum(x * x for x in v)
        for j in range(k, order):
            s = 2.0 * sum(v[i - k] * a[i][j] for i in range(k, m)) / vv
            for i in range(k, m):
                a[i][j] = a[i][j] - s * v[i - k]
        s = 2.0 * sum(v[i - k] * b[i] for i in range(k, m)) / vv
        for i in range(k, m):
            b[i] = b[i] - s * v[i - k]
    x = [None] * order
    for k in reversed(range(order)):
        x[k] = (b[k] - sum(a[k][j] * x[j] for j in range(k + 1, order))) / a[k][k]
    return np.stack(x, -1).astype(np.float32)


for order in (2, 4):
    peer(f"qrfit_order{order}", "numpy:batched qr")(lambda o=order: qr_batched(o))
    peer(f"qrfit_order{order}", "numpy:householder")(lambda o=order: qr_householder(o))

COEF = qr_batched(4).reshape(N, N, 4)
fp_out = np.empty((N, N), np.float32)
F2 = read_his("ref2.his") / np.float32(65535.0)


@peer("polyfit_correct", "numpy")
def _():
    v = F2.astype(np.float32)
    s = COEF[..., 3] * v + COEF[..., 2]
    s = s * v + COEF[..., 1]
    s = s * v + COEF[..., 0]
    np.clip(s, 0.0, 1.0, out=fp_out)


_py, _px = np.mgrid[251:261, 251:261]
_dx, _dy = (_px - 256.0).ravel(), (_py - 256.0).ravel()
_design = np.stack([np.ones(100), _dx, _dy, _dx * _dx, _dy * _dy], -1)
_values = FA[251:261, 251:261].astype(np.float64).ravel()
peer("parabel_fit", "numpy")(lambda: np.linalg.lstsq(_design, _values, rcond=None))

photo = np.empty((N, N), np.uint8)


@peer("render_photo", "numpy")
def _():
    np.copyto(photo, np.clip(FA * np.float32(255.0), 0, 255), casting="unsafe")


# ------------------------------------------------------------ measurements
@peer("imgstats_b16", "numpy")
def _():
    # the five together, as imgstats gives them
    return A.min(), A.max(), A.sum(), A.mean(), A.std(), np.median(A)


@peer("imgstats_f", "numpy")
def _():
    # NaN left out and counted, float64 sums, as imgstats does
    keep = ~np.isnan(FA)
    v = FA[keep]
    return (v.min(), v.max(), v.sum(dtype=np.float64), v.mean(dtype=np.float64),
            v.std(dtype=np.float64), np.median(v), keep.size - v.size)


peer("histogram_b16", "numpy")(lambda: np.histogram(A, 1000, (0.0, 65536.0)))
peer("histogram_f", "numpy")(lambda: np.histogram(FA, 1000, (0.0, 1.0)))

# Pixels as bytes and back (data / setdata).
A_BYTES, FA_BYTES = A.astype("<u2").tobytes(), FA.astype("<f4").tobytes()
peer("data_b16", "numpy")(lambda: A.tobytes())
peer("setdata_b16", "numpy")(lambda: np.copyto(a16, np.frombuffer(A_BYTES, "<u2").reshape(N, N)))
peer("data_f", "numpy")(lambda: FA.tobytes())
peer("setdata_f", "numpy")(lambda: np.copyto(fa, np.frombuffer(FA_BYTES, "<f4").reshape(N, N)))


def main():
    only = os.environ.get("QUENZ_BENCH_FILTER")
    results = {}
    for key, libs in PEERS.items():
        if only and not re.search(only, key):
            continue
        for lib, fn in libs.items():
            t = median_time(fn)
            # Alternatives of one peer ("numpy:batched qr", "numpy:householder"):
            # the peer's best counts.
            base = lib.split(":")[0]
            best = results.setdefault(key, {}).get(base)
            results[key][base] = t if best is None else min(best, t)
            results[key][lib] = t
        print(key, " ".join(f"{lib}={t * 1e6:.1f}us" for lib, t in results.get(key, {}).items()),
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

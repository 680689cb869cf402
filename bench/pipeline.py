"""The reduction of examples/reduce.tcl written the way a lab would write it
in Python: numpy, with OpenCV for the Gaussian, the same steps in the same
order and the same files in and out (HIS read with numpy.fromfile, the
calibration files quenz wrote, a gnuplot matrix and a stats line out, each
written to a temporary name and renamed into place). multiprocessing runs
it over the files with N processes.

Usage: python3 bench/pipeline.py [-workers N] [-steps] CALDIR OUTDIR file.his ...
With -steps it times each step on the first file instead (JSON on stdout).
"""
import json
import os
import socket
import sys
import time
import timeit

import numpy as np
import cv2

N = 512
PIX_SIZE = np.float32(np.frombuffer(np.uint32(0x3EBA59C1).tobytes(), np.float32)[0])

cal = {}  # the calibration of this process


def read_his(path):
    return np.fromfile(path, dtype="<u2", offset=100).reshape(N, N)


def read_pgm16(path):
    with open(path, "rb") as fh:
        data = fh.read()
    # "P5", width, height, maxval, one whitespace byte (no comments: ours)
    fields = data.split(maxsplit=4)
    assert fields[0] == b"P5" and int(fields[3]) == 65535
    return np.frombuffer(data[-2 * N * N:], ">u2").reshape(N, N)


def read_qrfit(path):
    with open(path, "rb") as fh:
        data = fh.read()
    assert data[:6] == b"QRfit\0"
    nref, order = data[6], data[7]
    coef = np.frombuffer(data, "<f4", offset=8 + 4 * nref).reshape(N, N, order)
    return [np.ascontiguousarray(coef[..., k]) for k in range(order)]


def read_table(path):
    return np.fromfile(path, "<f4", offset=12)


def setup(caldir, outdir):
    cal["out"] = outdir
    os.makedirs(outdir, exist_ok=True)
    cal["dark"] = read_his(os.path.join(caldir, "dark.his")).astype(np.float32) / np.float32(65535)
    cal["coef"] = read_qrfit(os.path.join(caldir, "calibration.qrfit"))
    cal["table"] = read_table(os.path.join(caldir, "curve.tab"))
    # Bad pixels in the interior and, for each, which of its 8 neighbours
    # may serve (map below the threshold), in the order quenz sums them.
    bad = read_pgm16(os.path.join(caldir, "badpix.pgm")).astype(np.int32)
    ys, xs = np.nonzero(bad[1:-1, 1:-1] > 32767)
    ys, xs = ys + 1, xs + 1
    offsets = [(-1, -1), (-1, 0), (-1, 1), (0, -1), (0, 1), (1, -1), (1, 0), (1, 1)]
    use = np.array([bad[ys + dy, xs + dx] < 32767 for dy, dx in offsets])  # (8, nbad)
    cal["bad"] = (ys, xs, offsets, use.astype(np.float32), use.sum(0).astype(np.float32))
    d = np.arange(-2, 3)
    k = np.exp((-(d[:, None] ** 2 + d[None, :] ** 2)).astype(np.float32) / np.float32(2.7)).astype(np.float32)
    cal["kernel"] = (k / k.sum(dtype=np.float32)).astype(np.float32)
    out = np.empty((N + 1, N + 1), np.float32)
    axis = (np.arange(N, dtype=np.float64) * np.float64(PIX_SIZE)).astype(np.float32)
    out[0, 0], out[0, 1:], out[1:, 0] = N, axis, axis
    cal["gnuplot"] = out


# The steps, each as quenz does it.
def step_read(path):
    return read_his(path)


def step_dark(raw):
    img = raw.astype(np.float32) / np.float32(65535)
    img -= cal["dark"]
    return img


def step_polyfit(img):
    c = cal["coef"]
    s, p = c[0].copy(), np.ones_like(img)
    for k in range(1, len(c)):
        p *= img
        s += p * c[k]
    return np.clip(s, 0.0, 1.0, out=s)


def step_badpix(img):
    ys, xs, offsets, use, count = cal["bad"]
    total = np.zeros(ys.size, np.float32)
    for i, (dy, dx) in enumerate(offsets):
        total += img[ys + dy, xs + dx] * use[i]
    img[ys, xs] = np.where(count > 0, total / np.maximum(count, 1), np.float32(0))
    return img


def step_curve(img):
    t = cal["table"]
    v = np.clip(img, 0.0, 1.0).astype(np.float64) * 65535.0
    nan = np.isnan(v)
    if nan.any():  # a masked pixel has no count and stays NaN
        v[nan] = 0.0
        out = t[v.astype(np.intp)]
        out[nan] = np.nan
        return out
    return t[v.astype(np.intp)]


def step_gaussian(img):
    out = cv2.filter2D(img, -1, cal["kernel"], borderType=cv2.BORDER_CONSTANT)
    out[:2, :], out[-2:, :], out[:, :2], out[:, -2:] = img[:2, :], img[-2:, :], img[:, :2], img[:, -2:]
    return out


def step_stats(img):
    # imgstats' numbers: NaN left out and counted, float64 sums
    keep = ~np.isnan(img)
    v = img[keep]
    return " ".join("%.9g" % x for x in (v.size, v.min(), v.max(), v.sum(dtype=np.float64),
                                         v.mean(dtype=np.float64), v.std(dtype=np.float64),
                                         np.median(v), keep.size - v.size))


def atomically(path, write):
    tmp = os.path.join(os.path.dirname(path),
                       ".%s.%s.%d.part" % (os.path.basename(path), socket.gethostname(), os.getpid()))
    try:
        write(tmp)
        os.replace(tmp, path)
    except BaseException:
        if os.path.exists(tmp):
            os.remove(tmp)
        raise


def step_write(img, name, stats):
    g = cal["gnuplot"]
    g[1:, 1:] = img
    atomically(os.path.join(cal["out"], name + ".bin"), g.tofile)
    if stats is None:
        return

    def text(tmp):
        with open(tmp, "w") as fh:
            fh.write(stats + "\n")
    atomically(os.path.join(cal["out"], name + ".stats"), text)


def one(path):
    try:
        img = step_gaussian(step_curve(step_badpix(step_polyfit(step_dark(step_read(path))))))
        stats = None if os.environ.get("REDUCE_STATS") == "0" else step_stats(img)
        step_write(img, os.path.splitext(os.path.basename(path))[0], stats)
        return None
    except Exception as e:  # reported, and the run goes on
        return "%s: %s" % (path, e)


def steps(path):
    """Median time of each step on one frame, in seconds."""
    raw = step_read(path)
    img = step_dark(raw)
    pf = step_polyfit(img)
    bp = step_badpix(pf.copy())
    cu = step_curve(bp)
    ga = step_gaussian(cu)
    st = step_stats(ga)
    name = ".steps-" + os.path.splitext(os.path.basename(path))[0]
    parts = [
        ("read HIS", lambda: step_read(path)),
        ("subtract dark", lambda: step_dark(raw)),
        ("polyfit_correct", lambda: step_polyfit(img)),
        ("badpix_correct", lambda: step_badpix(pf.copy())),
        ("apply_eichkurve", lambda: step_curve(bp)),
        ("gaussian 2.7", lambda: step_gaussian(cu)),
        ("statistics", lambda: step_stats(ga)),
        ("write", lambda: step_write(ga, name, st)),
    ]
    result = {}
    for title, fn in parts:
        result[title] = sorted(timeit.repeat(fn, number=1, repeat=41))[20]
    for ext in (".bin", ".stats"):
        os.remove(os.path.join(cal["out"], name + ext))
    return result


def main(argv):
    workers, timing = 1, False
    while argv and argv[0].startswith("-"):
        if argv[0] == "-workers":
            workers, argv = int(argv[1]), argv[2:]
        elif argv[0] == "-steps":
            timing, argv = True, argv[1:]
        else:
            sys.exit("unknown option " + argv[0])
    caldir, outdir, files = argv[0], argv[1], argv[2:]
    cv2.setNumThreads(1 if workers > 1 else cv2.getNumberOfCPUs())
    if timing:
        setup(caldir, outdir)
        print(json.dumps(steps(files[0])))
        return 0
    # The run: from reading the calibration to the last output, as
    # quenz::batch counts it (the imports before are not in it).
    start = time.monotonic()
    if workers == 1:
        setup(caldir, outdir)
        errors = [one(f) for f in files]
    else:
        import multiprocessing
        with multiprocessing.Pool(workers, initializer=setup, initargs=(caldir, outdir)) as pool:
            errors = list(pool.imap_unordered(one, files, chunksize=4))
    errors = [e for e in errors if e]
    for e in errors:
        print(e, file=sys.stderr)
    seconds = time.monotonic() - start
    print("pipeline.py: %d files, %d failed, %.2f s, %.1f files/s, %d workers"
          % (len(files), len(errors), seconds, len(files) / seconds, workers), file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

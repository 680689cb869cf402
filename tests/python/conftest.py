# Shared set-up of the Python suite: the module from the build (tests/python/run
# puts it on PYTHONPATH), tclsh against the same build, and one directory of
# inputs made once per run.
import contextlib
import io
import os
import subprocess
import tempfile

import numpy
import pytest

import quenz

SOURCE = os.environ.get("QUENZ_SOURCE", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))


def run_tcl(script, *args, cwd=None):
    """Runs a Tcl script in tclsh with quenzcore from the build; returns
    (stdout, stderr) and fails the test on a non-zero exit."""
    with tempfile.NamedTemporaryFile("w", suffix=".tcl", delete=False) as f:
        f.write("package require quenzcore\n" + script)
    try:
        r = subprocess.run(["tclsh", f.name, *map(str, args)], capture_output=True, text=True, cwd=cwd,
                           timeout=120)
    finally:
        os.unlink(f.name)
    if r.returncode != 0:
        pytest.fail(f"tclsh failed ({r.returncode}):\n{r.stderr}")
    return r.stdout, r.stderr


def counts(seed, low=0, high=65536):
    """A bild16 of uniform random counts."""
    rng = numpy.random.default_rng(seed)
    return quenz.bild16(rng.integers(low, high, (512, 512), dtype=numpy.uint16))


@pytest.fixture(scope="session")
def inputs(tmp_path_factory):
    """Inputs both languages read: exposures, a dark frame, a bad-pixel map,
    a calibration with its curve table, a peak image and Voronoi cells, and
    one file of every format."""
    d = tmp_path_factory.mktemp("inputs")
    rng = numpy.random.default_rng(20261208)
    yy, xx = numpy.mgrid[0:512, 0:512]
    gain = 1.0 + 0.05 * numpy.sin(xx / 40.0) * numpy.cos(yy / 55.0)
    dark = (800 + 0.4 * xx + rng.normal(0, 5, (512, 512))).astype(numpy.uint16)
    quenz.bild16(dark).write_his(d / "dark.his")
    levels = [0.05, 0.2, 0.4, 0.6, 0.8]
    for k, v in enumerate(levels, 1):
        ref = dark + (v * 60000 * gain + rng.normal(0, 30, (512, 512))).clip(0, 60000).astype(numpy.uint16)
        quenz.bild16(ref.astype(numpy.uint16)).write_his(d / f"ref{k}.his")
    spots = 0.3 + 0.4 * numpy.cos(xx / 9.0) ** 2 * numpy.sin(yy / 11.0) ** 2
    for k in range(3):
        e = dark + (spots * (0.9 + 0.1 * k) * 60000 * gain + rng.normal(0, 30, (512, 512))).clip(0, 60000)
        e = e.astype(numpy.uint16)
        e[rng.integers(0, 512, 20), rng.integers(0, 512, 20)] = 65535
        quenz.bild16(e).write_his(d / f"exp{k + 1}.his")
    bad = numpy.zeros((512, 512), numpy.uint16)
    bad[rng.integers(0, 512, 30), rng.integers(0, 512, 30)] = 65535
    quenz.bild16(bad).write_pgm16(d / "badpix.pgm")
    refs = [quenz.bild16(d / f"ref{k}.his") for k in range(1, 6)]
    darkimg = quenz.bild16(d / "dark.his")
    for r in refs:
        r -= darkimg
    quiet = io.StringIO()
    with contextlib.redirect_stdout(quiet), contextlib.redirect_stderr(quiet), quenz.ostream_redirect():
        quenz.QRfit(refs, levels, 5, 3).write(d / "calibration.qrfit")
    quenz.expkurve(60000, 0.5, 0.05, 2.0, 0.3, 0.3).table_write(d / "curve.tab")
    # One peak, off the pixel grid, on a gentle slope.
    peak = (0.8 * numpy.exp(-((xx - 200.37) ** 2 + (yy - 301.81) ** 2) / 18.0) + 0.001 * xx).astype(numpy.float32)
    quenz.bildfloat(peak).write_gnuplot(d / "peak.bin")
    # Two hexagonal cells; the first holds the peak.
    with open(d / "cells.voronoi", "w") as f:
        for cx, cy in ((200.0, 300.0), (260.0, 300.0)):
            ring = [(cx + 24 * numpy.cos(a), cy + 24 * numpy.sin(a)) for a in numpy.arange(6) * numpy.pi / 3]
            f.write(f"{cx} {cy} 6 " + " ".join(f"{x:.4f} {y:.4f}" for x, y in ring) + "\n")
    # Every format, to be read by both.
    raw = counts(7)
    raw.write_tiff(d / "raw.tif", compress="lzw")
    raw.write_fits(d / "raw.fits")
    numpy.save(d / "raw.npy", numpy.asarray(raw))
    raw.write_png16(d / "raw.png")
    raw.write_pgm16(d / "raw.pgm")
    fl = quenz.bildfloat(peak)
    fl.write_tiff(d / "float.tif", compress="deflate")
    fl.write_fits(d / "float.fits")
    numpy.save(d / "float.npy", peak.astype(numpy.float64))
    return d

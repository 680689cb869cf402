# read_his and the bild16 constructor from a file name refuse a file that
# says it is of another format we read, with the library's words (the same
# as Tcl's after "RuntimeError "); HIS files whose first bytes are anything
# else still read.
import numpy
import pytest
import tifffile
from astropy.io import fits
from PIL import Image

import quenz
from conftest import run_tcl

A = ((numpy.arange(512 * 512) * 7) % 65536).astype(numpy.uint16).reshape(512, 512)


def test_other_formats_refused(tmp_path):
    made = {
        "ii.tif": ("a TIFF file", "read_tiff", lambda p: tifffile.imwrite(p, A, byteorder="<")),
        "mm.tif": ("a TIFF file", "read_tiff", lambda p: tifffile.imwrite(p, A, byteorder=">")),
        "big.tif": ("a BigTIFF file", "read_tiff", lambda p: tifffile.imwrite(p, A, bigtiff=True)),
        "d.fits": ("a FITS file", "read_fits", lambda p: fits.PrimaryHDU(A.astype(numpy.int16)).writeto(p)),
        "d.npy": ("an NPY file", "read_npy", lambda p: numpy.save(p, A)),
        "d.png": ("a PNG file", "read_png", lambda p: Image.fromarray(A.astype(numpy.uint8)).save(p)),
    }
    b = quenz.bild16(numpy.full((512, 512), 9, numpy.uint16))
    for name, (what, reader, write) in made.items():
        path = str(tmp_path / name)
        write(path)
        want = f"{path}: {what}, not a HIS exposure (read it with {reader})"
        with pytest.raises(RuntimeError) as e1:
            b.read_his(path)
        with pytest.raises(RuntimeError) as e2:
            quenz.bild16(path)
        assert (str(e1.value), str(e2.value)) == (want, want)
        out, _ = run_tcl("catch {bild16_read_his [new_bild16] [lindex $argv 0]} m; puts -nonewline $m", path)
        assert out == "RuntimeError " + want
    assert (numpy.asarray(b) == 9).all()


def test_his_with_any_first_bytes(tmp_path):
    path = tmp_path / "near.his"
    for head in (b"P5\n512 512\n65535\n", b"II*\x01", b"SIMPLE =", b"\x93NUMP", b"\xff" * 34):
        path.write_bytes(head.ljust(100, b"\0") + A.astype("<u2").tobytes())
        assert (numpy.asarray(quenz.bild16(str(path))) == A).all()


def test_raw_files_as_numpy_writes_and_reads_them(tmp_path):
    # The raw methods come from the format's record, keywords and all: what
    # numpy's tofile writes reads back exactly, ours is tofile's bytes, and
    # the same calls from Tcl give the same bytes.
    f = numpy.random.default_rng(3).standard_normal((512, 512)).astype(numpy.float32)
    A.astype(">u2").tofile(tmp_path / "big.raw")
    with open(tmp_path / "head.raw", "wb") as fh:
        fh.write(b"H" * 12 + f.tobytes() + b"tail")
    b, g = quenz.bild16(), quenz.bildfloat()
    b.read_raw(str(tmp_path / "big.raw"), order="big")
    g.read_raw(str(tmp_path / "head.raw"), offset=12)
    assert (numpy.asarray(b) == A).all() and numpy.asarray(g).tobytes() == f.tobytes()
    b.write_raw(str(tmp_path / "ours.raw"), type="f32", order="big")
    assert open(tmp_path / "ours.raw", "rb").read() == A.astype(">f4").tobytes()
    run_tcl("bild16 b; b read_raw [lindex $argv 0] -order big; b write_raw [lindex $argv 1] -type f32 -order big",
            str(tmp_path / "big.raw"), str(tmp_path / "tcl.raw"))
    assert open(tmp_path / "tcl.raw", "rb").read() == open(tmp_path / "ours.raw", "rb").read()
    with pytest.raises(TypeError, match="unexpected keyword argument 'endian'"):
        b.read_raw(str(tmp_path / "big.raw"), endian="big")
    with pytest.raises(RuntimeError, match="a raw u16 image at offset 1000000 needs 1524288"):
        b.read_raw(str(tmp_path / "big.raw"), offset=1000000)
    assert (numpy.asarray(b) == A).all()

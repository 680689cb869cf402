# Binning and regions of larger files: every reader against numpy's own
# slicing and block means, from files the field's libraries wrote.
import numpy
import pytest
import tifffile
from astropy.io import fits
from PIL import Image

import quenz
from conftest import run_tcl

RNG = numpy.random.default_rng(20261209)
BIG = RNG.integers(0, 65536, (1100, 1300), dtype=numpy.uint16)  # rows x columns, not a multiple of 512


def block_counts(a, n):
    """(sum + n²/2) // n² of each n x n block: a bild16's binning."""
    s = a.astype(numpy.uint64).reshape(512, n, 512, n).sum(axis=(1, 3))
    return ((s + n * n // 2) // (n * n)).astype(numpy.uint16)


def block_mean(v, n):
    """Each block's values summed in double in row order, then rounded once."""
    b = v.astype(numpy.float64).reshape(512, n, 512, n)
    s = numpy.zeros((512, 512))
    for r in range(n):
        for c in range(n):
            s += b[:, r, :, c]
    return (s / (n * n)).astype(numpy.float32)


def writers(tmp_path):
    """The big counts in every format, each with the array a reader's rows see."""
    p = lambda name: str(tmp_path / name)
    tifffile.imwrite(p("strips.tif"), BIG, compression="zlib", rowsperstrip=7)
    tifffile.imwrite(p("tiles.tif"), BIG, tile=(64, 128))
    tifffile.imwrite(p("plain.tif"), BIG, rowsperstrip=5)
    tifffile.imwrite(p("be.tif"), BIG, byteorder=">")
    numpy.save(p("c.npy"), BIG)
    numpy.save(p("f.npy"), numpy.asfortranarray(BIG))
    Image.fromarray(BIG.astype(numpy.int32)).convert("I;16").save(p("g.png"))
    fits.PrimaryHDU(BIG).writeto(p("d.fits"))  # stored with BZERO 32768, bottom row first
    BIG.astype(">u2").tofile(p("d.raw"))
    raw = dict(type="u16", order="big", width=1300, height=1100)
    # A FITS file's first row is the picture's bottom row: the reader's
    # rows, and so the region's, count from the top.
    return [("read_tiff", p("strips.tif"), {}, BIG), ("read_tiff", p("tiles.tif"), {}, BIG),
            ("read_tiff", p("plain.tif"), {}, BIG), ("read_tiff", p("be.tif"), {}, BIG),
            ("read_npy", p("c.npy"), {}, BIG), ("read_npy", p("f.npy"), {}, BIG),
            ("read_png", p("g.png"), {}, BIG), ("read_fits", p("d.fits"), {}, BIG[::-1]),
            ("read_raw", p("d.raw"), raw, BIG)]


def test_every_reader_bins_and_cuts_as_numpy(tmp_path):
    for reader, path, extra, rows in writers(tmp_path):
        for n, (x, y) in ((1, (0, 0)), (1, (787, 587)), (2, (13, 71)), (2, (276, 76))):
            want = rows[y:y + 512 * n, x:x + 512 * n]
            b = quenz.bild16()
            getattr(b, reader)(path, bin=n, roi=(x, y), **extra)
            assert (numpy.asarray(b) == block_counts(want, n)).all(), (reader, path, n, x, y)
            if reader != "read_png":
                f = quenz.bildfloat()
                getattr(f, reader)(path, bin=n, roi=(x, y), **extra)
                # FITS values are physical; other counts become fractions of 65535.
                scaled = want if reader == "read_fits" else want * (1 / 65535)
                assert numpy.asarray(f).tobytes() == block_mean(scaled, n).tobytes(), (reader, n)
    # A cube's plane, as read_fits_plane reads it.
    cube = numpy.stack([BIG[:1024, :1024], BIG[50:1074, 100:1124]])
    fits.PrimaryHDU(cube).writeto(tmp_path / "cube.fits")
    b = quenz.bild16().read_fits_plane(str(tmp_path / "cube.fits"), 1, 1, bin=2)
    assert (numpy.asarray(b) == block_counts(cube[1][::-1], 2)).all()
    # a plane that is not there is named as such, whatever the options
    for plane in (-1, 2):
        with pytest.raises(RuntimeError, match=f"plane {plane} out of range \\(HDU 1 has 2 planes\\)"):
            b.read_fits_plane(str(tmp_path / "cube.fits"), 1, plane, bin=2)


def test_whole_files_bin_and_float_samples(tmp_path):
    # A file of exactly 512N x 512N bins whole; a float file's bildfloat is
    # the double mean of its values rounded once (bin 3 rounds unlike a float sum).
    v = RNG.standard_normal((1536, 1536)).astype(numpy.float32) * 1e3 + 0.1
    numpy.save(tmp_path / "v.npy", v)
    tifffile.imwrite(tmp_path / "v.tif", v)
    fits.PrimaryHDU(v[::-1]).writeto(tmp_path / "v.fits")
    for reader, name in (("read_npy", "v.npy"), ("read_tiff", "v.tif"), ("read_fits", "v.fits")):
        f = quenz.bildfloat()
        getattr(f, reader)(str(tmp_path / name), bin=3)
        assert numpy.asarray(f).tobytes() == block_mean(v, 3).tobytes(), reader
    # 8-bit PNG counts are the samples times 256.
    g = RNG.integers(0, 256, (1024, 1024), dtype=numpy.uint8)
    Image.fromarray(g).save(tmp_path / "g8.png")
    b = quenz.bild16().read_png(str(tmp_path / "g8.png"), bin=2)
    assert (numpy.asarray(b) == block_counts(g.astype(numpy.uint16) * 256, 2)).all()


def test_sizes_and_regions_refused_with_their_numbers(tmp_path):
    path = str(tmp_path / "big.tif")
    tifffile.imwrite(path, BIG)
    b = quenz.bild16(numpy.full((512, 512), 9, numpy.uint16))
    cases = [
        ({}, f"{path}: expected 512 x 512 pixels, got 1300 x 1100 (read a region with -roi X Y, or bin with -bin N)"),
        ({"bin": 2}, f"{path}: expected 1024 x 1024 pixels, got 1300 x 1100 (read a region with -roi X Y)"),
        ({"bin": 3}, f"{path}: expected 1536 x 1536 pixels, got 1300 x 1100 (read a region with -roi X Y, or bin with a smaller -bin N)"),
        ({"roi": (789, 0)}, f"{path}: a region of 512 x 512 pixels at column 789, row 0 lies outside the file's 1300 x 1100 pixels"),
        ({"bin": 3, "roi": (0, 0)}, f"{path}: a region of 1536 x 1536 pixels at column 0, row 0 lies outside the file's 1300 x 1100 pixels"),
        ({"bin": 17}, 'bad value "17" for -bin: must be a whole number from 1 to 16'),
        ({"bin": 0}, 'bad value "0" for -bin: must be a whole number from 1 to 16'),
        ({"roi": (-1, 0)}, 'bad value "-1 0" for -roi: must be 2 whole numbers'),
    ]
    for kw, want in cases:
        with pytest.raises(RuntimeError) as e:
            b.read_tiff(path, **kw)
        assert str(e.value) == want, kw
    assert (numpy.asarray(b) == 9).all()
    # Tcl's options, after the page, and the same words.
    out, _ = run_tcl("""bild16 b
        foreach args {{} {0 -bin 2} {-roi 789 0} {0 -bin 17} {-roi 1} {-bin 2 -roi 10 20 -x}} {
            catch {b read_tiff [lindex $argv 0] {*}$args} m; puts $m
        }
        b read_tiff [lindex $argv 0] 0 -roi 700 500 -bin 1; puts [b get 2 3]""", path)
    lines = out.splitlines()
    assert lines[:3] == ["RuntimeError " + cases[0][1], "RuntimeError " + cases[1][1], "RuntimeError " + cases[3][1]]
    assert lines[3] == "RuntimeError " + cases[5][1]
    assert lines[4] == 'RuntimeError value for "-roi" missing'
    assert lines[5] == 'RuntimeError bad option "-x": must be -bin or -roi'
    assert lines[6] == str(BIG[502, 703])
    # A raw file's claimed size and offset: refused in words, never wrapped round.
    raw = str(tmp_path / "big.raw")
    BIG.tofile(raw)
    for kw, want in [
        (dict(width=2 ** 32, height=2 ** 32, roi=(0, 0)), f"{raw}: a raw image of 4294967296 x 4294967296 pixels is too large"),
        (dict(width=1300, height=1100, roi=(0, 0), offset=2 ** 64 - 1), f"{raw}: an offset of 18446744073709551615 bytes is too large"),
        (dict(width=1300, height=1100, roi=(0, 0), offset=2), f"{raw}: 2860000 bytes, a raw u16 image of 1300 x 1100 pixels at offset 2 needs 2860002"),
    ]:
        with pytest.raises(RuntimeError) as e:
            b.read_raw(raw, **kw)
        assert str(e.value) == want, kw
    assert (numpy.asarray(b) == 9).all()
    assert (numpy.asarray(b.read_raw(raw, width=1300, height=1100, roi=(700, 500))) == BIG[500:1012, 700:1212]).all()


def stripped_tiff(path, width, height, rows, offsets, counts, compression=1):
    """A little-endian 16-bit grey TIFF's header and directory alone: the
    strips are wherever offsets say (the caller writes them, or not)."""
    import struct
    tags = [(256, 4, [width]), (257, 4, [height]), (258, 3, [16]), (259, 3, [compression]), (262, 3, [1]),
            (273, 4, offsets), (277, 3, [1]), (278, 4, [rows]), (279, 4, counts)]
    ifd, extra = struct.pack("<H", len(tags)), b""
    outside = 8 + 2 + 12 * len(tags) + 4
    for tag, kind, values in tags:
        raw = struct.pack("<" + {3: "H", 4: "I"}[kind] * len(values), *values)
        if len(raw) <= 4:
            ifd += struct.pack("<HHI", tag, kind, len(values)) + raw.ljust(4, b"\0")
        else:
            ifd += struct.pack("<HHII", tag, kind, len(values), outside + len(extra))
            extra += raw
    with open(path, "wb") as f:
        f.write(b"II*\0" + struct.pack("<I", 8) + ifd + struct.pack("<I", 0) + extra)


def test_hostile_tiff_regions(tmp_path):
    """A region of a larger page is read only from strips its tables put in
    the file, never from the header; a row too long is refused before it is
    allocated; a 512 x 512 region of a huge one-strip page reads its rows alone."""
    import resource
    import subprocess
    import sys
    import zlib
    data = BIG[:1024, :1024].tobytes()
    base, strip = 1 << 14, 16 * 1024 * 2
    short = str(tmp_path / "short.tif")
    stripped_tiff(short, 1024, 1024, 16, [base], [strip] * 64)
    header = str(tmp_path / "header.tif")
    offsets = [base + i * strip for i in range(64)]
    offsets[3] = 0
    stripped_tiff(header, 1024, 1024, 16, offsets, [strip] * 64)
    for path in (short, header):
        with open(path, "r+b") as f:
            f.seek(base)
            f.write(data)
    wide = str(tmp_path / "wide.tif")
    z = zlib.compress(bytes(1000))
    stripped_tiff(wide, 2 ** 32 - 1, 512, 1, [8192 + i * len(z) for i in range(512)], [len(z)] * 512, compression=8)
    with open(wide, "r+b") as f:
        f.seek(8192)
        f.write(z * 512)
    b = quenz.bild16(numpy.full((512, 512), 9, numpy.uint16))
    cases = [(short, "StripOffsets has 1 entry; 1024 rows in strips of 16 rows need 64"),
             (header, "strip 3 of 64 starts inside the TIFF header (at 0)"),
             (wide, "rows of 8589934590 bytes are too long to read a region from (at most 268435456 when compressed)")]
    for path, why in cases:
        with pytest.raises(RuntimeError) as e:
            b.read_tiff(path, roi=(0, 0))
        assert str(e.value) == f"{path}: {why}"
    assert (numpy.asarray(b) == 9).all()
    # 46340 x 46340 counts in one uncompressed strip (a sparse file of 4 GiB):
    # its region's rows only, in a child whose peak memory is measured.
    huge = str(tmp_path / "huge.tif")
    side = 46340
    stripped_tiff(huge, side, side, side, [65536], [side * side * 2])
    row = numpy.arange(512, dtype="<u2") + 7
    with open(huge, "r+b") as f:
        f.truncate(65536 + side * side * 2)
        f.seek(65536 + (200 * side + 100) * 2)   # file row 200, column 100: the region's top-left
        f.write(row.tobytes())
    # (the peak's growth over the read: a sanitizer's build starts higher)
    code = f"""
import resource, numpy, quenz
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
b = quenz.bild16().read_tiff({huge!r}, roi=(100, 200))
a = numpy.asarray(b)
print(int((a[0] == numpy.arange(512) + 7).all()), int((a[1:] == 0).all()),
      (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) // 1024)"""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout.split()
    assert out[:2] == ["1", "1"]
    assert int(out[2]) < 256, f"the peak grew by {out[2]} MiB for a 512 x 512 region"


def test_region_keywords_take_python_integers_only(tmp_path):
    """bin= and roi= take any integer Python has (numpy's too), and refuse
    text, bools and other objects as TypeErrors that name the keyword; a
    page word means the same page with and without the options (Tcl)."""
    path = str(tmp_path / "big.tif")
    tifffile.imwrite(path, BIG)
    want = block_counts(BIG[76:1100, 276:1300], 2)
    for bin_, roi in ((numpy.int64(2), (numpy.int32(276), numpy.uint16(76))), (2, numpy.array([276, 76])), (2, [276, 76])):
        b = quenz.bild16().read_tiff(path, bin=bin_, roi=roi)
        assert (numpy.asarray(b) == want).all()
    b = quenz.bild16()
    for kw, words in (({"bin": True}, "bin= expects a whole number"), ({"bin": "2"}, "bin= expects a whole number"),
                      ({"bin": [2]}, "bin= expects a whole number"), ({"bin": 2.0}, "bin= expects a whole number"),
                      ({"roi": "0 0"}, "roi= expects 2 whole numbers"), ({"roi": (0,)}, "roi= expects 2 whole numbers"),
                      ({"roi": (0, 0.5)}, "roi= expects a whole number"), ({"roi": object()}, "roi= expects 2 whole numbers")):
        with pytest.raises(TypeError) as e:
            b.read_tiff(path, **kw)
        assert str(e.value).startswith(words), (kw, str(e.value))
    # raw's word options take text only
    with pytest.raises(TypeError, match="type= expects a word"):
        b.read_raw(path, type=16)
    # the page word "01" and "1" name the same page, with options or without
    pages = str(tmp_path / "pages.tif")
    with tifffile.TiffWriter(pages) as t:
        for k in range(9):
            t.write(numpy.full((1024, 1024), k, numpy.uint16))
    out, _ = run_tcl("""bild16 b
        foreach page {010 0x1 +2 { 3}} {
            b read_tiff [lindex $argv 0] $page -bin 2; set a [b get 0 0]
            b read_tiff [lindex $argv 0] $page -roi 0 0; lappend a [b get 0 0]
            puts $a
        }""", pages)
    assert out.split("\n")[:4] == ["8 8", "1 1", "2 2", "3 3"]

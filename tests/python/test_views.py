# numpy views of images: zero-copy, writable, keep their image alive, stay
# valid when a reader replaces the pixels; arrays in, with clear refusals.
import gc
import weakref

import numpy
import pytest

import quenz
from conftest import run_tcl


@pytest.mark.parametrize("cls, dtype, value", [
    (quenz.bild16, numpy.uint16, 7),
    (quenz.bildfloat, numpy.float32, 0.25),
    (quenz.bildcomplex, numpy.complex64, 1.5 - 2j),
])
def test_a_view_is_the_pixels_themselves(cls, dtype, value):
    img = cls()
    a = numpy.asarray(img)
    assert a.dtype == dtype and a.shape == (512, 512) and a.flags.c_contiguous and a.flags.writeable
    a[:] = value
    a[3, 500] = 0
    # Written through the view, read through get and [y, x]; and back.
    assert img.get(0, 0) == value and img[511, 511] == value and img.get(3, 500) == 0
    img.set(10, 20, value)
    img[500, 3] = 0
    assert a[10, 20] == value and a[500, 3] == 0
    # Two views share one block: no copy anywhere.
    assert numpy.shares_memory(a, numpy.asarray(img))
    # The same bytes as data() gives, little-endian rows first.
    assert a.tobytes() == img.data()


def test_a_view_keeps_its_image_alive_and_survives_readers(inputs):
    img = quenz.bild16(inputs / "exp1.his")
    ref = numpy.asarray(img).copy()
    a = numpy.asarray(img)
    gone = weakref.ref(img)
    del img
    gc.collect()
    assert gone() is not None  # held by the view
    assert (a == ref).all()
    del a
    gc.collect()
    assert gone() is None  # and freed with it

    # read_his keeps the pixel block where the views see it.
    img = quenz.bild16()
    a = numpy.asarray(img)
    img.read_his(inputs / "exp1.his")
    assert (a == ref).all()
    img.read_his(inputs / "exp2.his")
    assert (a == numpy.asarray(quenz.bild16(inputs / "exp2.his"))).all()


def test_arrays_in_are_copied_and_others_refused():
    rng = numpy.random.default_rng(1)
    for cls, dtype in ((quenz.bild16, numpy.uint16), (quenz.bildfloat, numpy.float32),
                       (quenz.bildcomplex, numpy.complex64)):
        src = rng.integers(0, 60000, (512, 512)).astype(dtype)
        img = cls(src)
        assert (numpy.asarray(img) == src).all() and not numpy.shares_memory(numpy.asarray(img), src)
        # A strided array (every other column of a wider one) is copied as its values.
        wide = numpy.repeat(src, 2, axis=1)[:, ::2]
        img.assign(numpy.zeros((512, 512), dtype))
        img.assign(wide)
        assert (numpy.asarray(img) == src).all()
        for bad in (numpy.zeros((512, 511), dtype), numpy.zeros((512, 512, 1), dtype),
                    numpy.zeros((512, 512), numpy.float64), numpy.zeros((512, 512), numpy.int32),
                    numpy.zeros((512, 512), numpy.dtype(dtype).newbyteorder(">"))):
            with pytest.raises(TypeError) as e:
                cls(bad)
            assert str(e.value).startswith(f"{cls.__name__}: a (512, 512) array of {numpy.dtype(dtype).name} expected, not a")
            with pytest.raises(TypeError):
                img.assign(bad)
        assert (numpy.asarray(img) == src).all()  # a refusal changes nothing
        img.assign(numpy.asarray(img))  # its own view: the same pixels
        assert (numpy.asarray(img) == src).all()
    with pytest.raises(TypeError, match=r"not a \(512, 511\) array of float64"):
        quenz.bildfloat(numpy.zeros((512, 511)))


def test_the_curve_table_is_a_read_only_view_that_keeps_its_curve():
    t = quenz.expkurve(60000, 0.5, 0.05, 2.0, 0.3, 0.3).table()
    gc.collect()
    assert t.shape == (65536,) and not t.flags.writeable
    c = quenz.expkurve(60000, 0.5, 0.05, 2.0, 0.3, 0.3)
    assert t[30000] == c.apply(30000) and t[123] == c.apply(123)
    with pytest.raises(ValueError):
        t[0] = 1


def test_pictures_and_docstrings(tmp_path):
    f = quenz.bildfloat(numpy.linspace(0, 3, 512 * 512, dtype=numpy.float32).reshape(512, 512))
    png = f._repr_png_()
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    # to_png over a range in grey is write_png's picture.
    f.write_png(tmp_path / "r.png", 0.0, 3.0)
    f.to_png(tmp_path / "t.png", 0.0, 3.0)
    assert (tmp_path / "t.png").read_bytes() == (tmp_path / "r.png").read_bytes()
    assert "Gaussian smoothing" in quenz.bildfloat.gaussian.__doc__
    assert quenz.bildfloat.gaussian.__doc__.startswith("gaussian(self: quenz.bildfloat, radius: float)")


def test_pictures_use_the_viewers_range_and_maps(tmp_path):
    # A dark frame with one bright spot: min..max would render it black;
    # the viewer's automatic range (0.5 and 99.5 percentiles) does not.
    import io
    from PIL import Image
    rng = numpy.random.default_rng(5)
    a = (800 + rng.normal(0, 20, (512, 512))).astype(numpy.uint16)
    a[250:260, 250:260] = 60000
    b = quenz.bild16(a)
    lo, hi = numpy.floor(numpy.percentile(a, 0.5)), numpy.ceil(numpy.percentile(a, 99.5))
    level = numpy.clip((a.astype(float) - lo) * 255 / (hi - lo), 0, 255).astype(numpy.uint8)
    shown = numpy.asarray(Image.open(io.BytesIO(b._repr_png_())).convert("RGB"))
    assert (shown == level[..., None]).all() and numpy.median(level) > 100
    # to_png with a colour map: the RGB picture Tcl's write_png -cmap writes, byte for byte;
    # the grey default is write_png's picture as before.
    b.to_png(str(tmp_path / "py.png"), 700, 900, cmap="heat")
    b.to_png(str(tmp_path / "old.png"), colormap="viridis")
    b.write_his(str(tmp_path / "a.his"))
    run_tcl("bild16 b [lindex $argv 0]; b write_png [lindex $argv 1] 700 900 -cmap heat;"
            "b write_png [lindex $argv 2] -cmap viridis; b write_png [lindex $argv 3]",
            tmp_path / "a.his", tmp_path / "tcl.png", tmp_path / "tclv.png", tmp_path / "grey.png")
    assert (tmp_path / "py.png").read_bytes() == (tmp_path / "tcl.png").read_bytes()
    assert (tmp_path / "old.png").read_bytes() == (tmp_path / "tclv.png").read_bytes()
    b.to_png(str(tmp_path / "default.png"))
    assert (tmp_path / "default.png").read_bytes() == (tmp_path / "grey.png").read_bytes()
    heat = numpy.asarray(Image.open(tmp_path / "py.png"))
    assert Image.open(tmp_path / "py.png").mode == "RGB" and tuple(heat[255, 255]) == (255, 255, 255)
    with pytest.raises(RuntimeError, match="unknown colour map 'jet'"):
        b.to_png(str(tmp_path / "x.png"), cmap="jet")
    with pytest.raises(RuntimeError, match="write_png: the range must be finite"):
        quenz.bildfloat().to_png(str(tmp_path / "x.png"), float("-inf"), 1.0, cmap="heat")
    assert not (tmp_path / "x.png").exists()

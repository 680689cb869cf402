# Misuse: wrong types, coordinates off the image, library failures, objects
# that refer to images, and objects shared by threads while names go.
import gc
import subprocess
import sys
import random
import threading

import numpy
import pytest

import quenz


def test_errors_carry_the_tcl_sides_messages(tmp_path):
    with pytest.raises(RuntimeError) as e:
        quenz.bild16("exp.his")
    assert str(e.value) == "exp.his not found!\n"
    b, f = quenz.bild16(), quenz.bildfloat()
    for call, text in ((lambda: b.get(512, 3), "bild16_base_get: coordinates outside the image (y=512, x=3)"),
                       (lambda: b[-1, 0], "bild16_base_get: coordinates outside the image (y=-1, x=0)"),
                       (lambda: f.set(0, 600, 1.0), "bildfloat_base_set: coordinates outside the image (y=0, x=600)"),
                       (lambda: f.__setitem__((700, 1), 2.0), "bildfloat_base_set: coordinates outside the image (y=700, x=1)"),
                       (lambda: quenz.bildcomplex().get(5, 512), "bildcomplex_base_get: coordinates outside the image (y=5, x=512)")):
        with pytest.raises(IndexError) as e:
            call()
        assert str(e.value) == text
    with pytest.raises(RuntimeError, match=r"^Index error: imgstats x1=0 x2=512 y1=0 y2=5$"):
        quenz.imgstats(b, (0, 0, 512, 5))
    with pytest.raises(RuntimeError, match="Sizes of kernel must be odd"):
        f.convolve([1.0] * 4, 2, 2)
    with pytest.raises(RuntimeError, match=r"^bild16_setdata: expected 524288 bytes, given 3$"):
        b.setdata(b"abc")
    (tmp_path / "x.tif").write_bytes(b"not a tiff")
    with pytest.raises(RuntimeError, match="x.tif"):
        b.read_tiff(tmp_path / "x.tif")
    with pytest.raises(RuntimeError, match="Tablekurve pseudo-function called"):
        quenz.expkurve(60000, 0.5, 0.05, 2.0, 0.3, 0.3).table_write(tmp_path / "t.tab") or \
            quenz.tablekurve(tmp_path / "t.tab").eichfun(1.0)
    with pytest.raises(TypeError, match="eichkurve"):
        quenz.eichkurve()


def test_wrong_types_are_type_errors():
    b, f = quenz.bild16(), quenz.bildfloat()
    for call in (lambda: f.gaussian("wide"), lambda: b.fromfloat(b), lambda: f.polyfit_correct(f),
                 lambda: quenz.bildcomplex(b), lambda: quenz.Parabelzentrum(b, 5), lambda: b.set(0, 0, 70000),
                 lambda: b.set(0, 0, 1.5), lambda: b[0], lambda: quenz.imgstats(quenz.bildcomplex()),
                 lambda: quenz.QRfit([b, f], [0.1, 0.2], 2), lambda: quenz.QRfit("a", "b", 1)):
        with pytest.raises(TypeError):
            call()
    with pytest.raises(TypeError):
        b += f
    with pytest.raises(TypeError):
        f -= "x"
    with pytest.raises(TypeError, match="QRfit: the reference images must be bild16, not bildfloat"):
        quenz.QRfit([b, f], [0.1, 0.2], 2)


def test_in_place_operators_and_assign_are_the_tcl_ones():
    a, c = quenz.bild16(), quenz.bild16()
    a.assign(1000)
    c.assign(7)
    same = a
    a += c
    a *= 3
    a -= 1
    a /= c
    assert a is same and a.get(0, 0) == (1007 * 3 - 1) // 7
    f = quenz.bildfloat(a)
    g = quenz.bildfloat().assign(f)
    assert numpy.array_equal(numpy.asarray(g), numpy.asarray(f))
    v = quenz.vec2d(3, 4)
    assert abs(v) == 5.0 == quenz.abs(v) and v * quenz.vec2d(1, 1) == 7.0 and (v * 2).y == 8.0


def test_assign_refuses_numbers_outside_the_pixel_type_in_its_own_words_even_without_numpy():
    # (numpy hidden: a number must never reach the array conversion)
    script = """
import sys
sys.modules["numpy"] = None
import quenz
b, f = quenz.bild16(), quenz.bildfloat()
for img, v in ((b, -5), (b, 70000), (b, 1.5), (f, 10 ** 400), (b, 65535), (f, -5), (f, 2.5)):
    try:
        img.assign(v)
        print("ok", img.get(0, 0))
    except Exception as e:
        print(type(e).__name__, str(e)[:80])
"""
    r = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert r.stdout.splitlines() == [
        "ValueError bild16.assign: -5 is not a pixel value (a whole number 0..65535)",
        "ValueError bild16.assign: 70000 is not a pixel value (a whole number 0..65535)",
        "ValueError bild16.assign: 1.5 is not a pixel value (a whole number 0..65535)",
        "ValueError " + ("bildfloat.assign: 1" + "0" * 400)[:80],
        "ok 65535", "ok -5.0", "ok 2.5"], r.stderr


def test_analysis_objects_hold_their_image():
    yy, xx = numpy.mgrid[0:512, 0:512]
    peak = (1 - 0.01 * ((xx - 10.3) ** 2 + (yy - 9.8) ** 2)).astype(numpy.float32)
    pz = quenz.Parabelzentrum(quenz.bildfloat(peak), 25)
    del peak
    s = quenz.surface(quenz.bildfloat())
    gc.collect()
    pz.estimate(10, 10)
    for x in range(8, 13):
        for y in range(8, 13):
            pz.put(x, y)
    assert pz.fit() and pz.x() == pytest.approx(10.3, abs=1e-4) and pz.y() == pytest.approx(9.8, abs=1e-4)
    s.put(5, 5)
    assert s.get() == 1.0 and s.rb.get(0, 0) == 0.0  # a flat landscape: one pixel of area


def test_four_threads_share_objects_while_names_go(inputs):
    """Four threads run kernels (the lock released) on shared images and a
    shared QRfit, while one of them re-reads the same files into them and
    the others drop and replace the shared names. Every result must be the
    single-threaded one: no pixels freed or moved under a kernel."""
    cal_file = inputs / "calibration.qrfit"
    raw_file = inputs / "exp1.his"
    expected = quenz.bildfloat(quenz.bild16(raw_file))
    expected.polyfit_correct(quenz.QRfit(cal_file))
    expected.gaussian(2.0)
    want = numpy.asarray(expected).copy()
    want_sum = int(numpy.asarray(quenz.bild16(raw_file), dtype=numpy.int64).sum())

    shared = {"raw": quenz.bild16(raw_file), "cal": quenz.QRfit(cal_file)}
    failures, rounds = [], 12
    stop = threading.Event()

    def worker(seed):
        rnd = random.Random(seed)
        try:
            for _ in range(rounds):
                raw, cal = shared["raw"], shared["cal"]
                what = rnd.randrange(4)
                if what == 0:  # the same file again, into the shared objects
                    raw.read_his(raw_file)
                    cal.read(cal_file)
                elif what == 1:  # new objects under the shared names; the old go
                    shared["raw"] = quenz.bild16(raw_file)
                    shared["cal"] = quenz.QRfit(cal_file)
                    del raw, cal
                    gc.collect()
                    continue
                view = numpy.asarray(raw)
                if int(view.sum(dtype=numpy.int64)) != want_sum:
                    failures.append("view")
                f = quenz.bildfloat(raw)
                f.polyfit_correct(cal)
                f.gaussian(2.0)
                c = quenz.bildcomplex(f)
                c.FFT_forward().FFT_backward()
                if not numpy.array_equal(numpy.asarray(f), want):
                    failures.append("kernel")
        except Exception as e:  # noqa: BLE001 - any failure is the test's
            failures.append(repr(e))

    threads = [threading.Thread(target=worker, args=(k,)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    stop.set()
    assert failures == []

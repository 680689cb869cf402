# imgstats of float images against numpy: the median (NumPy's median, the
# sign of a zero median in the order -0 < +0), the extremes (a zero
# extreme is the first zero in pixel order) and the counts, on images
# made to defeat a median found from a sample: ties, signed zeros,
# infinities, NaN, one value, patterns that repeat with the sample's
# stride, and rectangles with even and odd counts.
import numpy as np
import pytest

import quenz


def key_order(v):
    """v sorted in the order of the values' bit patterns made monotonic
    (-0 below +0), as numpy's stable sort of those keys gives it."""
    u = v.view(np.uint32)
    keys = np.where(u >> 31 == 1, ~u, u | np.uint32(0x80000000))
    return v[np.argsort(keys, kind="stable")]


def images():
    rng = np.random.default_rng(20261210)
    n = (512, 512)
    r = rng.random(n)
    x = np.arange(512)[None, :] + np.zeros(n)
    y = np.arange(512)[:, None] + np.zeros(n)
    yield "uniform", rng.random(n)
    yield "nan", np.where(r < 0.1, np.nan, r * 100 - 50)
    yield "negative nan", np.where(r < 0.4, -np.nan, r)
    yield "ties", np.floor(r * 7) - 3
    yield "signed zeros", np.where(r < 0.5, -0.0, np.where(r < 0.8, 0.0, r - 0.9))
    yield "zeros above", np.where(r < 0.3, -1.0, np.where(r < 0.6, -0.0, 0.0))
    yield "infinities", np.where(r < 0.3, np.inf, np.where(r < 0.6, -np.inf, r))
    yield "one value", np.full(n, 2.5)
    yield "subnormal", r * 1e-40
    yield "wide", rng.standard_normal(n) * np.exp(rng.uniform(-80, 80, n))
    yield "narrow", 16.5 + rng.standard_normal(n) * 1e-5
    yield "plateau", np.where(r < 0.7, 16.5 + r * 1e-4, r * 16)
    # every 64th pixel in a row different from the rest: what a sample
    # taken at that stride sees is not what the image holds
    yield "stride", np.where(x % 64 == 32, -5.0, r)
    yield "stride rows", np.where((x % 64 == 32) & (y % 2 == 0), r + 10, r)
    yield "sorted", np.sort(r.ravel()).reshape(n)
    yield "reversed", np.sort(r.ravel())[::-1].reshape(n)
    yield "almost all nan", np.where(r < 0.999, np.nan, r)
    yield "all nan", np.full(n, np.nan)


RECTS = [None, (0, 0, 511, 510), (3, 5, 200, 301), (0, 0, 510, 511), (7, 7, 7, 8), (0, 0, 511, 0),
         (10, 10, 12, 12)]


@pytest.mark.parametrize("name,a", list(images()), ids=lambda v: v if isinstance(v, str) else "")
def test_float_imgstats_median_and_extremes_against_numpy(name, a):
    a = a.astype(np.float32)
    img = quenz.bildfloat(a)
    for rect in RECTS:
        got = quenz.imgstats(img, rect) if rect else quenz.imgstats(img)
        x1, y1, x2, y2 = rect or (0, 0, 511, 511)
        part = a[y1:y2 + 1, x1:x2 + 1].ravel()
        v = part[~np.isnan(part)]
        where = f"{name} {rect}"
        assert (got["n"], got["nan"]) == (v.size, part.size - v.size), where
        if v.size == 0:
            assert all(np.isnan(got[k]) for k in ("min", "max", "median")), where
            continue
        want = np.median(v.astype(np.float64))
        assert got["median"] == want or (np.isnan(want) and np.isnan(got["median"])), where
        if want == 0:
            s = key_order(v)
            middle = (np.float64(s[(v.size - 1) // 2]) + np.float64(s[v.size // 2])) / 2
            assert np.signbit(got["median"]) == np.signbit(middle), where
        for k, f in (("min", np.min), ("max", np.max)):
            assert got[k] == f(v), where
            if got[k] == 0:
                assert np.signbit(got[k]) == np.signbit(v[np.flatnonzero(v == 0)[0]]), where


// bild16: construction, conversion from float and the 16-bit arithmetic,
// which wraps modulo 65536.
#include "imgclass/core/bild16.h"

#include <cmath>

#include "imgclass/core/bildfloat.h"
#include "imgclass/core/divide16.h"
#include "imgclass/system/fileio.h"
#include "imgclass/core/pixelloop.h"

bild16::header_t bild16::default_header() {
    header_t h{};
    unsigned char* p = h.data();
    quenz::store_le<std::uint16_t>(p + 0, 28672);
    quenz::store_le<std::uint16_t>(p + 2, 68);
    quenz::store_le<std::uint16_t>(p + 4, 100);
    quenz::store_le<std::uint32_t>(p + 6, 524388);
    quenz::store_le<std::uint16_t>(p + 10, 32);
    quenz::store_le<std::uint16_t>(p + 12, 1);
    quenz::store_le<std::uint16_t>(p + 14, 1);
    quenz::store_le<std::uint16_t>(p + 16, 512);
    quenz::store_le<std::uint16_t>(p + 18, 512);
    quenz::store_le<std::uint16_t>(p + 20, 1);
    quenz::store_le<std::uint16_t>(p + 22, 0);
    quenz::store_le<double>(p + 24, 0.0);
    quenz::store_le<std::uint16_t>(p + 32, 4);
    return h;
}

bild16::bild16() : header_(default_header()) {}

bild16::bild16(const char* fname) : bild16() { read_his(fname); }

namespace {

using u16 = unsigned short;
using quenz::PixelOp;

// Counts wrap modulo 65536.
struct Counts {
    static constexpr auto add = [](u16 p, u16 q) { return u16(p + q); };
    static constexpr auto sub = [](u16 p, u16 q) { return u16(p - q); };
    static constexpr auto mul = [](u16 p, u16 q) { return u16(unsigned(p) * q); };
    // Integer division through single precision, which vectorises: p and q
    // are exact floats, and for p, q < 2^16 the rounded quotient never
    // reaches the next integer (its distance 1/q exceeds half a float step
    // there), so the truncation is floor(p / q). A zero divisor leaves the
    // pixel.
    static constexpr auto dvd = [](u16 p, u16 q) {
        float d = float(q ? q : 1);
        u16 r = u16(int(float(p) / d));
        return q ? r : p;
    };
    using lanes = quenz::u16x16;
    [[gnu::always_inline]] static void quotient(lanes& r, const lanes& a, const lanes& d) {
        using namespace quenz;
        f32x16 f = __builtin_convertvector(a, f32x16) / __builtin_convertvector(d, f32x16);
        r = __builtin_convertvector(__builtin_convertvector(f, i32x16), lanes);
    }
};

QUENZ_VECTOR_CLONES void combine(PixelOp op, u16* p, const u16* q, std::size_t n) {
    quenz::combine_pixels<Counts>(op, p, q, n);
}
QUENZ_VECTOR_CLONES void combine_value(PixelOp op, u16* p, u16 v, std::size_t n) {
    quenz::combine_value_pixels<Counts>(op, p, v, n);
}
// Division by one count (not 0): a multiply-high and shifts per pixel in
// 16-bit lanes, twice as many per vector as the single-precision division.
QUENZ_VECTOR_CLONES void divide_value(u16* p, u16 v, std::size_t n) {
    quenz::divide_counts(p, quenz::Divisor16(v), n);
}

// fromfloat for n pixels: v * 65535 / max in double precision (the product
// is exact: 24 + 16 bits), truncated; above max 65535, below 0 and NaN 0.
// Dividing by a power of two is exact, so for such a max (1.0 above all)
// the division becomes a multiplication by its exact reciprocal. The
// selects keep every converted value in 0..65535.
QUENZ_VECTOR_CLONES void from_floats(u16* __restrict dst, const float* __restrict src, std::size_t n,
                                     float max) {
    int e;
    const bool power_of_two = max > 0 && std::isfinite(max) && std::frexp(max, &e) == 0.5f;
    const double dmax = max, inv = 1.0 / dmax;
    auto one = [&](float v, double q) {
        q = q == q ? q : 0.0;
        q = v < 0 ? 0.0 : q;
        q = v > max ? 65535.0 : q;
        return u16(int(q));
    };
    if (power_of_two)
        for (std::size_t i = 0; i < n; ++i) dst[i] = one(src[i], double(src[i]) * 65535.0 * inv);
    else
        for (std::size_t i = 0; i < n; ++i) dst[i] = one(src[i], double(src[i]) * 65535.0 / dmax);
}

}  // namespace

bild16& bild16::operator=(data_t v) {
    std::fill(data(), data() + npixels(), v);
    return *this;
}
bild16& bild16::operator+=(const bild16& b) { return combine(PixelOp::add, data(), b.data(), npixels()), *this; }
bild16& bild16::operator+=(data_t v) { return combine_value(PixelOp::add, data(), v, npixels()), *this; }
bild16& bild16::operator-=(const bild16& b) { return combine(PixelOp::sub, data(), b.data(), npixels()), *this; }
bild16& bild16::operator-=(data_t v) { return combine_value(PixelOp::sub, data(), v, npixels()), *this; }
bild16& bild16::operator*=(const bild16& b) { return combine(PixelOp::mul, data(), b.data(), npixels()), *this; }
bild16& bild16::operator*=(data_t v) { return combine_value(PixelOp::mul, data(), v, npixels()), *this; }
bild16& bild16::operator/=(const bild16& b) { return combine(PixelOp::div, data(), b.data(), npixels()), *this; }
bild16& bild16::operator/=(data_t v) {
    if (v) divide_value(data(), v, npixels());  // a zero divisor leaves every pixel
    return *this;
}

void bild16::fromfloat(const bildfloat& bf, float max) { from_floats(data(), bf.data(), npixels(), max); }

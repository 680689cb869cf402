// bildfloat: construction, conversion from counts and float arithmetic.
#include "bildfloat.h"

#include "bild16.h"
#include "pixelloop.h"

namespace {

using quenz::PixelOp;

constexpr auto add = [](float p, float q) { return p + q; };
constexpr auto sub = [](float p, float q) { return p - q; };
constexpr auto mul = [](float p, float q) { return p * q; };
// Divides only where q is not 0 (a NaN divisor divides).
constexpr auto dvd = [](float p, float q) { return q != 0.0f ? p / q : p; };

// dvd by an image, sixteen pixels at a time (q may be p).
[[gnu::always_inline]] inline void divide(float* p, const float* q, std::size_t n) {
    using namespace quenz;
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        f32x16 a, b;
        load16(a, p + i);
        load16(b, q + i);
        auto nonzero = b != 0.0f;
        f32x16 r = a / (nonzero ? b : f32x16{} + 1.0f);
        store16(p + i, nonzero ? r : a);
    }
    for (; i < n; ++i) p[i] = dvd(p[i], q[i]);
}

QUENZ_VECTOR_CLONES void combine(PixelOp op, float* p, const float* q, std::size_t n) {
    switch (op) {
        case PixelOp::add: return quenz::pixels_image(p, q, n, add);
        case PixelOp::sub: return quenz::pixels_image(p, q, n, sub);
        case PixelOp::mul: return quenz::pixels_image(p, q, n, mul);
        case PixelOp::div: return divide(p, q, n);
    }
}

QUENZ_VECTOR_CLONES void combine_value(PixelOp op, float* p, float v, std::size_t n) {
    switch (op) {
        case PixelOp::add: return quenz::pixels_value(p, v, n, add);
        case PixelOp::sub: return quenz::pixels_value(p, v, n, sub);
        case PixelOp::mul: return quenz::pixels_value(p, v, n, mul);
        case PixelOp::div: return quenz::pixels_value(p, v, n, dvd);
    }
}

// count / 65535 rounded to float. The product with the double nearest to
// 1/65535 can differ from the quotient in the last bit of the double, but
// never in the float it rounds to (a quotient c/65535 lies at least 2^-40
// of its size away from any rounding boundary of float; the unit tests
// check all 65536 counts).
QUENZ_VECTOR_CLONES void normalise(float* __restrict dst, const unsigned short* __restrict src,
                                   std::size_t n) {
    constexpr double inv = 1.0 / 65535.0;
    for (std::size_t i = 0; i < n; ++i) dst[i] = float(double(src[i]) * inv);
}

}  // namespace

bildfloat::bildfloat(const bild16& aufnahme) : bildfloat_base(quenz::no_init) { from_bild16(aufnahme); }

bildfloat::bildfloat(const region_t& regio) : bildfloat_base(quenz::no_init) {
    const bool* r = regio.data();
    float* p = data();
    for (std::size_t i = 0; i < npixels(); ++i) p[i] = r[i] ? 1.0f : quenz::quiet_nan;
}

bildfloat::bildfloat(const char* name) { read_gnuplot(name); }

bildfloat& bildfloat::from_bild16(const bild16& aufnahme) {
    normalise(data(), aufnahme.data(), npixels());
    return *this;
}

bildfloat& bildfloat::operator=(const bildfloat& b) {
    if (this != &b) copy_pixels(b);
    return *this;
}
bildfloat& bildfloat::operator=(data_t v) {
    std::fill(data(), data() + npixels(), v);
    return *this;
}
bildfloat& bildfloat::operator+=(const bildfloat& b) {
    return combine(PixelOp::add, data(), b.data(), npixels()), *this;
}
bildfloat& bildfloat::operator+=(float v) {
    return combine_value(PixelOp::add, data(), v, npixels()), *this;
}
bildfloat& bildfloat::operator-=(const bildfloat& b) {
    return combine(PixelOp::sub, data(), b.data(), npixels()), *this;
}
bildfloat& bildfloat::operator-=(float v) {
    return combine_value(PixelOp::sub, data(), v, npixels()), *this;
}
bildfloat& bildfloat::operator*=(const bildfloat& b) {
    return combine(PixelOp::mul, data(), b.data(), npixels()), *this;
}
bildfloat& bildfloat::operator*=(float v) {
    return combine_value(PixelOp::mul, data(), v, npixels()), *this;
}
bildfloat& bildfloat::operator/=(const bildfloat& b) {
    return combine(PixelOp::div, data(), b.data(), npixels()), *this;
}
bildfloat& bildfloat::operator/=(float v) {
    if (v != 0.0f) combine_value(PixelOp::div, data(), v, npixels());  // also for -0: the image is left as it is
    return *this;
}

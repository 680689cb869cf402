// bildfloat: construction, conversion from counts and float arithmetic.
#include "imgclass/core/bildfloat.h"

#include "imgclass/core/bild16.h"
#include "imgclass/core/pixelloop.h"

namespace {

using quenz::PixelOp;

struct Floats {
    static constexpr auto add = [](float p, float q) { return p + q; };
    static constexpr auto sub = [](float p, float q) { return p - q; };
    static constexpr auto mul = [](float p, float q) { return p * q; };
    // Divides only where q is not 0 (a NaN divisor divides).
    static constexpr auto dvd = [](float p, float q) { return q != 0.0f ? p / q : p; };
    using lanes = quenz::f32x16;
    [[gnu::always_inline]] static void quotient(lanes& r, const lanes& a, const lanes& d) { r = a / d; }
};

QUENZ_VECTOR_CLONES void combine(PixelOp op, float* p, const float* q, std::size_t n) {
    quenz::combine_pixels<Floats>(op, p, q, n);
}
QUENZ_VECTOR_CLONES void combine_value(PixelOp op, float* p, float v, std::size_t n) {
    quenz::combine_value_pixels<Floats>(op, p, v, n);
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

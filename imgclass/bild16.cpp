// bild16: construction, conversion from float and the 16-bit arithmetic,
// which wraps modulo 65536.
#include "bild16.h"

#include <cmath>

#include "bildfloat.h"
#include "fileio.h"

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

bild16::bild16() : header(std::make_unique<header_t>(default_header())) {}

bild16::bild16(const char* fname) : bild16() { read_his(fname); }

bild16::bild16(const bild16& bmp) : bild16_base(bmp), header(std::make_unique<header_t>(*bmp.header)) {}

bild16& bild16::operator=(const bild16& b) {
    if (this != &b) {
        copy_pixels(b);
        *header = *b.header;
    }
    return *this;
}

namespace {

// Applies op to every pixel with the same pixel of o (which may be self).
template <class Op> void each(bild16& s, const bild16& o, Op op) {
    unsigned short* p = s.data();
    const unsigned short* q = o.data();
    for (std::size_t i = 0; i < bild16::npixels(); ++i) p[i] = op(p[i], q[i]);
}
template <class Op> void each(bild16& s, unsigned short v, Op op) {
    unsigned short* p = s.data();
    for (std::size_t i = 0; i < bild16::npixels(); ++i) p[i] = op(p[i], v);
}

using u16 = unsigned short;
constexpr auto add = [](u16 p, u16 q) { return u16(p + q); };
constexpr auto sub = [](u16 p, u16 q) { return u16(p - q); };
constexpr auto mul = [](u16 p, u16 q) { return u16(unsigned(p) * q); };
constexpr auto dvd = [](u16 p, u16 q) { return q ? u16(p / q) : p; };

}  // namespace

bild16& bild16::operator=(data_t v) {
    std::fill(data(), data() + npixels(), v);
    return *this;
}
bild16& bild16::operator+=(const bild16& b) { return each(*this, b, add), *this; }
bild16& bild16::operator+=(data_t v) { return each(*this, v, add), *this; }
bild16& bild16::operator-=(const bild16& b) { return each(*this, b, sub), *this; }
bild16& bild16::operator-=(data_t v) { return each(*this, v, sub), *this; }
bild16& bild16::operator*=(const bild16& b) { return each(*this, b, mul), *this; }
bild16& bild16::operator*=(data_t v) { return each(*this, v, mul), *this; }
bild16& bild16::operator/=(const bild16& b) { return each(*this, b, dvd), *this; }
bild16& bild16::operator/=(data_t v) {
    if (v) each(*this, v, dvd);  // a zero divisor leaves every pixel
    return *this;
}

void bild16::fromfloat(const bildfloat& bf, float max) {
    const float* src = bf.data();
    unsigned short* dst = data();
    const double scale = 65535.0;
    for (std::size_t i = 0; i < npixels(); ++i) {
        float v = src[i];
        unsigned short c;
        if (v > max) {
            c = 65535;
        } else if (v < 0) {
            c = 0;
        } else {
            double q = double(v) * scale / double(max);
            // NaN pixels and 0/0 give 0; the quotient is otherwise in 0..65535
            c = std::isfinite(q) ? u16(std::int64_t(q)) : 0;
        }
        dst[i] = c;
    }
}

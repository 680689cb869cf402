// bildfloat: construction, conversion from counts and float arithmetic.
#include "bildfloat.h"

#include <array>

#include "bild16.h"

namespace {

// count / 65535 rounded to float, for every count.
const std::array<float, 65536>& normalised() {
    static const auto table = [] {
        std::array<float, 65536> t{};
        for (int c = 0; c < 65536; ++c) t[c] = float(double(c) / 65535.0);
        return t;
    }();
    return table;
}

template <class Op> void each(bildfloat& s, const bildfloat& o, Op op) {
    float* p = s.data();
    const float* q = o.data();
    for (std::size_t i = 0; i < bildfloat::npixels(); ++i) p[i] = op(p[i], q[i]);
}
template <class Op> void each(bildfloat& s, float v, Op op) {
    float* p = s.data();
    for (std::size_t i = 0; i < bildfloat::npixels(); ++i) p[i] = op(p[i], v);
}

constexpr auto add = [](float p, float q) { return p + q; };
constexpr auto sub = [](float p, float q) { return p - q; };
constexpr auto mul = [](float p, float q) { return p * q; };
constexpr auto dvd = [](float p, float q) { return q != 0.0f ? p / q : p; };

}  // namespace

bildfloat::bildfloat(const bild16& aufnahme) { from_bild16(aufnahme); }

bildfloat::bildfloat(const region_t& regio) {
    const bool* r = regio.data();
    float* p = data();
    for (std::size_t i = 0; i < npixels(); ++i) p[i] = r[i] ? 1.0f : quenz::quiet_nan;
}

bildfloat::bildfloat(const char* name) { read_gnuplot(name); }

bildfloat& bildfloat::from_bild16(const bild16& aufnahme) {
    const auto& t = normalised();
    const unsigned short* c = aufnahme.data();
    float* p = data();
    for (std::size_t i = 0; i < npixels(); ++i) p[i] = t[c[i]];
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
bildfloat& bildfloat::operator+=(const bildfloat& b) { return each(*this, b, add), *this; }
bildfloat& bildfloat::operator+=(float v) { return each(*this, v, add), *this; }
bildfloat& bildfloat::operator-=(const bildfloat& b) { return each(*this, b, sub), *this; }
bildfloat& bildfloat::operator-=(float v) { return each(*this, v, sub), *this; }
bildfloat& bildfloat::operator*=(const bildfloat& b) { return each(*this, b, mul), *this; }
bildfloat& bildfloat::operator*=(float v) { return each(*this, v, mul), *this; }
bildfloat& bildfloat::operator/=(const bildfloat& b) { return each(*this, b, dvd), *this; }
bildfloat& bildfloat::operator/=(float v) {
    if (v != 0.0f) each(*this, v, dvd);  // also for -0: the image is left as it is
    return *this;
}

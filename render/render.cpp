#include "render.h"

#include <cmath>
#include <sstream>
#include <string>

#include "imgclass/core/pixelloop.h"
#include "imgclass/core/rect.h"

namespace quenz {
namespace {

// Truncates toward zero and clamps in double, so that a pixel millions of
// ranges away (or infinite) saturates by its sign instead of overflowing
// an integer conversion; NaN fails the first test and becomes black. As
// selects rather than branches, so the pass vectorises.
inline std::uint8_t grey(double q) {
    q = q > 0.0 ? q : 0.0;
    q = q >= 255.0 ? 255.0 : q;
    return std::uint8_t(int(q));
}

// One pass over the pixels: (p - low) * 255 / span. The division stays a
// division (not a multiplication by the reciprocal): the truncated levels
// must be exactly those of the formula. Only a power-of-two span (1 for
// floats shown as 0..1) divides exactly by multiplying with its reciprocal.
template <class T>
[[gnu::always_inline]] inline void map_range(const T* __restrict src, double low, double span,
                                             std::uint8_t* __restrict dst) {
    const std::size_t n = std::size_t(render_buffer::width) * render_buffer::height;
    int e;
    if (span > 0 && std::isfinite(span) && std::frexp(span, &e) == 0.5) {
        const double inv = 1.0 / span;
        for (std::size_t i = 0; i < n; ++i) dst[i] = grey((double(src[i]) - low) * 255.0 * inv);
    } else {
        for (std::size_t i = 0; i < n; ++i) dst[i] = grey((double(src[i]) - low) * 255.0 / span);
    }
}
QUENZ_VECTOR_CLONES void map_counts(const unsigned short* src, double low, double span,
                                    std::uint8_t* dst) {
    map_range(src, low, span, dst);
}
QUENZ_VECTOR_CLONES void map_floats(const float* src, double low, double span, std::uint8_t* dst) {
    map_range(src, low, span, dst);
}

template <class T> [[noreturn]] void zero_range(T low, const char* command) {
    std::ostringstream os;
    os << "Error: Zero range (" << command << "), low==high==" << low;
    throw Error(os.str());
}

template <class Img>
minmax_t<typename Img::data_t> minmax_of(const Img& b, int x1_, int y1_, int x2_, int y2_) {
    const auto [x1, y1, x2, y2] = checked_rect("getminmax", x1_, y1_, x2_, y2_);
    auto mn = b.row(y1)[x1], mx = mn;
    for (int y = y1; y <= y2; ++y) {
        const auto* row = b.row(y);
        for (int x = x1; x <= x2; ++x) {
            if (row[x] < mn) mn = row[x];
            if (row[x] > mx) mx = row[x];
        }
    }
    return {mn, mx};
}

}  // namespace

void render_auto(const bild16_base& b, render_buffer& out) {
    const unsigned short* src = b.data();
    std::uint8_t* dst = out.data();
    for (std::size_t i = 0; i < b.npixels(); ++i) dst[i] = std::uint8_t(src[i] >> 8);
}

void render_auto(const bildfloat_base& b, render_buffer& out) {
    render_contrast(b, 0.0f, 1.0f, out);
}

void render_contrast(const bild16_base& b, int low, int high, render_buffer& out,
                     const char* command) {
    if (low == high) zero_range(low, command);
    // Both differences are exact in double for any int bounds.
    map_counts(b.data(), double(low), double(high) - double(low), out.data());
}

void render_contrast(const bildfloat_base& b, float low, float high, render_buffer& out,
                     const char* command) {
    if (high == low) zero_range(low, command);
    map_floats(b.data(), double(low), double(high) - double(low), out.data());
}

minmax_t<unsigned short> getminmax(const bild16_base& b, int x1, int y1, int x2, int y2) {
    return minmax_of(b, x1, y1, x2, y2);
}

minmax_t<float> getminmax(const bildfloat_base& b, int x1, int y1, int x2, int y2) {
    return minmax_of(b, x1, y1, x2, y2);
}

minmax_t<unsigned short> render_range(const bild16_base& b, int x1, int y1, int x2, int y2,
                                      render_buffer& out) {
    auto r = minmax_of(b, x1, y1, x2, y2);
    if (r.min == r.max)
        render_contrast(b, 0, 65535, out);
    else
        render_contrast(b, int(r.min), int(r.max), out);
    return r;
}

minmax_t<float> render_range(const bildfloat_base& b, int x1, int y1, int x2, int y2,
                             render_buffer& out) {
    auto r = minmax_of(b, x1, y1, x2, y2);
    if (r.min == r.max)
        render_contrast(b, 0.0f, 1.0f, out);
    else
        render_contrast(b, r.min, r.max, out);
    return r;
}

}  // namespace quenz

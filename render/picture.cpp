#include "picture.h"

#include <cmath>
#include <sstream>
#include <vector>

#include "imgclass/formats/png_file.h"
#include "render.h"

namespace quenz {

void write_png(const char* name, const bild16_base& b) {
    render_buffer grey;
    render_auto(b, grey);
    write_png8(name, grey.data());
}

void write_png(const char* name, const bildfloat_base& b) {
    render_buffer grey;
    render_auto(b, grey);
    write_png8(name, grey.data());
}

void write_png(const char* name, const bild16_base& b, int low, int high) {
    render_buffer grey;
    render_contrast(b, low, high, grey, "write_png");
    write_png8(name, grey.data());
}

void write_png(const char* name, const bildfloat_base& b, float low, float high) {
    render_buffer grey;
    render_contrast(b, low, high, grey, "write_png");
    write_png8(name, grey.data());
}

namespace {

template <class Img> std::array<double, 2> auto_range(const Img& b, bool counts) {
    std::array<double, 2> r{0, 1};
    try {
        r = percentiles(b, 0.5, 99.5);
    } catch (const Error&) {
        // No finite pixel: the range stays 0..1.
    }
    auto [lo, hi] = r;
    if (hi <= lo) {
        const auto mm = getminmax(b, 0, 0, 511, 511);
        if (double(mm.min) == double(mm.max)) {
            lo = 0;
            hi = counts ? 65280 : 1;
        }
    }
    if (counts) {
        lo = std::floor(lo);
        hi = std::ceil(hi);
        if (hi <= lo) hi = lo + 1;
    } else if (hi <= lo) {
        hi = lo + 1;
        if (hi == lo) hi = lo + std::fabs(lo) * std::ldexp(1.0, -23);
    }
    return {lo, hi};
}

template <class Img> void view_png(const char* name, const Img& b, double low, double high, colormap m) {
    if (low == high) {
        std::ostringstream os;
        os << "Error: Zero range (write_png), low==high==" << low;
        throw Error(os.str());
    }
    if (!std::isfinite(low) || !std::isfinite(high)) throw Error("write_png: the range must be finite");
    view_params p;
    p.low = low;
    p.high = high;
    p.map = m;
    std::vector<std::uint8_t> rgba;
    render_view(b, p, rgba);
    std::vector<std::uint8_t> rgb(std::size_t(512) * 512 * 3);
    for (std::size_t i = 0, j = 0; i < rgba.size(); i += 4, j += 3) {
        rgb[j] = rgba[i];
        rgb[j + 1] = rgba[i + 1];
        rgb[j + 2] = rgba[i + 2];
    }
    write_png_colour(name, 512, 512, 3, rgb.data());
}

}  // namespace

std::array<double, 2> view_auto_range(const bild16_base& b) { return auto_range(b, true); }
std::array<double, 2> view_auto_range(const bildfloat_base& b) { return auto_range(b, false); }

void write_png_view(const char* name, const bild16_base& b, double low, double high, colormap m) {
    view_png(name, b, low, high, m);
}
void write_png_view(const char* name, const bildfloat_base& b, double low, double high, colormap m) {
    view_png(name, b, low, high, m);
}

}  // namespace quenz

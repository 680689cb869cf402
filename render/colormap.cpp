#include "colormap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "imgclass/system/error.h"

namespace quenz {
namespace {

std::uint8_t byte(double c) { return std::uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255.0)); }

// Viridis through the ten colours its authors publish at equal steps
// (#440154 ... #FDE725), linearly interpolated in sRGB between them.
std::array<rgb, 256> make_viridis() {
    static const unsigned points[10] = {0x440154, 0x482878, 0x3E4A89, 0x31688E, 0x26828E,
                                        0x1F9E89, 0x35B779, 0x6DCD59, 0xB4DE2C, 0xFDE725};
    std::array<rgb, 256> t{};
    for (int i = 0; i < 256; ++i) {
        double s = i * 9.0 / 255.0;
        int k = std::min(int(s), 8);
        double f = s - k;
        auto chan = [&](int shift) {
            double a = (points[k] >> shift) & 0xff, b = (points[k + 1] >> shift) & 0xff;
            return std::uint8_t(std::lround(a + (b - a) * f));
        };
        t[i] = {chan(16), chan(8), chan(0)};
    }
    return t;
}

// Black through red and yellow to white: each channel rises over a third.
std::array<rgb, 256> make_heat() {
    std::array<rgb, 256> t{};
    for (int i = 0; i < 256; ++i) {
        double x = 3.0 * i / 255.0;
        t[i] = {byte(x), byte(x - 1.0), byte(x - 2.0)};
    }
    return t;
}

std::array<rgb, 256> make_grey(bool inverted) {
    std::array<rgb, 256> t{};
    for (int i = 0; i < 256; ++i) {
        auto g = std::uint8_t(inverted ? 255 - i : i);
        t[i] = {g, g, g};
    }
    return t;
}

const double log_a = 1000.0;
const double log_norm = std::log1p(log_a);

void check(const view_params& p) {
    if (p.high == p.low) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", p.low);
        throw Error(std::string("Error: Zero range (render_view), low==high==") + buf);
    }
    if (!std::isfinite(p.low) || !std::isfinite(p.high))
        throw Error("render_view: the range must be finite");
    if (p.zoom < 1 || p.zoom > view_max_zoom)
        throw Error("render_view: zoom " + std::to_string(p.zoom) + " is outside 1..16");
    if (p.shrink < 1 || p.shrink > view_max_shrink || (p.shrink > 1 && p.zoom != 1))
        throw Error("render_shrunk: shrink " + std::to_string(p.shrink) + " is outside 1..4");
    if (p.width < 1 || p.height < 1 || p.width > view_max_side || p.height > view_max_side)
        throw Error("render_view: width and height must lie in 1..16384");
}

void put(std::uint8_t* d, rgb c) {
    d[0] = c.r;
    d[1] = c.g;
    d[2] = c.b;
    d[3] = 255;
}

// The loop shared by both image types: colour(row pointer, column) gives
// the colour of one image pixel.
template <class Img, class Colour>
void fill(const Img& b, const view_params& p, std::vector<std::uint8_t>& out, Colour colour) {
    constexpr int nx = Img::SIZEX, ny = Img::SIZEY;
    const int z = p.zoom;
    const long k = p.shrink;
    out.resize(std::size_t(p.width) * p.height * 4);
    std::vector<int> col(p.width);
    for (int ox = 0; ox < p.width; ++ox) {
        long zx = (long(p.x0) + ox) * k;
        col[ox] = zx >= 0 && zx / z < nx ? int(zx / z) : -1;
    }
    std::uint8_t* d = out.data();
    for (int oy = 0; oy < p.height; ++oy) {
        long zy = (long(p.y0) + oy) * k;
        if (zy < 0 || zy / z >= ny) {
            for (int ox = 0; ox < p.width; ++ox, d += 4) put(d, background_colour);
            continue;
        }
        const auto* row = b.row(zy / z);
        for (int ox = 0; ox < p.width; ++ox, d += 4) put(d, col[ox] < 0 ? background_colour : colour(row, col[ox]));
    }
}

}  // namespace

colormap colormap_named(const std::string& name) {
    if (name == "grey") return colormap::grey;
    if (name == "invgrey") return colormap::invgrey;
    if (name == "viridis") return colormap::viridis;
    if (name == "heat") return colormap::heat;
    throw Error("unknown colour map '" + name + "': grey, invgrey, viridis or heat");
}

const std::array<rgb, 256>& colormap_table(colormap m) {
    static const std::array<rgb, 256> grey = make_grey(false), inv = make_grey(true),
                                      viridis = make_viridis(), heat = make_heat();
    switch (m) {
        case colormap::invgrey: return inv;
        case colormap::viridis: return viridis;
        case colormap::heat: return heat;
        default: return grey;
    }
}

int view_level(double v, double low, double high, bool log) {
    if (std::isnan(v)) return -1;
    double q;
    if (log) {
        double t = std::clamp((v - low) / (high - low), 0.0, 1.0);
        q = 255.0 * std::log1p(log_a * t) / log_norm;
    } else {
        q = (v - low) * 255.0 / (high - low);
    }
    q = q > 0.0 ? q : 0.0;
    q = q >= 255.0 ? 255.0 : q;
    return int(q);
}

void render_view(const bild16_base& b, const view_params& p, std::vector<std::uint8_t>& out) {
    check(p);
    // One level per possible count: the pass over the window is a lookup.
    const auto& table = colormap_table(p.map);
    // Below and above the range the level saturates: only the counts
    // between its ends need the formula.
    std::vector<rgb> lut(65536);
    double lo = std::min(p.low, p.high), hi = std::max(p.low, p.high);
    int first = int(std::clamp(std::floor(lo), 0.0, 65536.0));
    int last = int(std::clamp(std::ceil(hi), -1.0, 65535.0));
    std::fill(lut.begin(), lut.begin() + first, table[view_level(-1e300, p.low, p.high, p.log)]);
    if (last + 1 < 65536)
        std::fill(lut.begin() + last + 1, lut.end(), table[view_level(1e300, p.low, p.high, p.log)]);
    for (int v = first; v <= last; ++v) lut[v] = table[view_level(v, p.low, p.high, p.log)];
    fill(b, p, out, [&](const unsigned short* row, int x) { return lut[row[x]]; });
}

void render_view(const bildfloat_base& b, const view_params& p, std::vector<std::uint8_t>& out) {
    check(p);
    const auto& table = colormap_table(p.map);
    fill(b, p, out, [&](const float* row, int x) {
        int l = view_level(row[x], p.low, p.high, p.log);
        return l < 0 ? nan_colour : table[l];
    });
}

void render_colorbar(colormap m, bool log, int width, int height, std::vector<std::uint8_t>& out) {
    if (width < 1 || height < 2 || width > view_max_side || height > view_max_side)
        throw Error("render_colorbar: width must lie in 1..16384 and height in 2..16384");
    const auto& table = colormap_table(m);
    out.resize(std::size_t(width) * height * 4);
    std::uint8_t* d = out.data();
    for (int r = 0; r < height; ++r) {
        rgb c = table[view_level(double(height - 1 - r), 0.0, double(height - 1), log)];
        for (int x = 0; x < width; ++x, d += 4) put(d, c);
    }
}

namespace {

void check_pct(double p1, double p2) {
    if (!(p1 >= 0 && p1 <= 100 && p2 >= 0 && p2 <= 100))
        throw Error("percentiles: percentages must lie in 0..100");
}

// Linear interpolation between the ranks around p / 100 * (n - 1), given
// the value at any rank.
template <class At> double interpolate(double p, std::size_t n, At at) {
    double pos = p / 100.0 * double(n - 1);
    auto lo = std::size_t(std::floor(pos));
    double f = pos - double(lo);
    double a = at(lo);
    if (f == 0.0 || lo + 1 >= n) return a;
    return a + (at(lo + 1) - a) * f;
}

}  // namespace

std::array<double, 2> percentiles(const bild16_base& b, double p1, double p2) {
    check_pct(p1, p2);
    std::vector<std::uint32_t> cum(65536, 0);
    for (std::size_t i = 0; i < b.npixels(); ++i) ++cum[b.data()[i]];
    for (int v = 1; v < 65536; ++v) cum[v] += cum[v - 1];
    // The value at a rank: the first count whose cumulative total exceeds it.
    auto at = [&](std::size_t rank) {
        return double(std::upper_bound(cum.begin(), cum.end(), std::uint32_t(rank)) - cum.begin());
    };
    return {interpolate(p1, b.npixels(), at), interpolate(p2, b.npixels(), at)};
}

std::array<double, 2> percentiles(const bildfloat_base& b, double p1, double p2) {
    check_pct(p1, p2);
    std::vector<float> v;
    v.reserve(b.npixels());
    for (std::size_t i = 0; i < b.npixels(); ++i)
        if (std::isfinite(b.data()[i])) v.push_back(b.data()[i]);
    if (v.empty()) throw Error("percentiles: no pixel is finite");
    std::sort(v.begin(), v.end());
    auto at = [&](std::size_t rank) { return double(v[rank]); };
    return {interpolate(p1, v.size(), at), interpolate(p2, v.size(), at)};
}

}  // namespace quenz

// Colour-mapped rendering for quenz-view: images mapped through a range,
// an optional log scale and one of four colour maps into RGBA pixels, at an
// integer zoom, for any rectangle of the zoomed image (the part a window
// shows). Plain C++; the Tk side is display/viewcmds.cpp.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "imgclass/core/imgbase.h"

namespace quenz {

enum class colormap { grey, invgrey, viridis, heat };

// "grey", "invgrey", "viridis", "heat"; anything else throws
// "unknown colour map '<name>': grey, invgrey, viridis or heat".
colormap colormap_named(const std::string& name);

struct rgb {
    std::uint8_t r, g, b;
};
// The 256 colours of a map, level 0 (low) to 255 (high).
const std::array<rgb, 256>& colormap_table(colormap m);

// Colours outside the maps: NaN pixels, and the space beside the image.
constexpr rgb nan_colour{255, 0, 255};
constexpr rgb background_colour{48, 48, 48};

// The level 0..255 of value v. Linear: (v - low) * 255 / (high - low),
// truncated toward zero and clamped (the levels of getimage_contrast).
// Log: t = (v - low) / (high - low) clamped to 0..1, then
// 255 * ln(1 + 1000 t) / ln(1001), truncated. Returns -1 for NaN.
// high == low is the caller's error.
int view_level(double v, double low, double high, bool log);

struct view_params {
    double low = 0, high = 65535;
    colormap map = colormap::grey;
    bool log = false;
    int zoom = 1;           // 1..16 screen pixels per image pixel
    int shrink = 1;         // 1..4 image pixels per screen pixel (zoom 1 only)
    int x0 = 0, y0 = 0;     // the rectangle's corner in zoomed pixels
    int width = 512, height = 512;
};
constexpr int view_max_zoom = 16, view_max_shrink = 4, view_max_side = 16384;

// Renders the rectangle (x0, y0, width, height) of the zoomed image into
// out (width * height RGBA, row by row): output pixel (ox, oy) shows image
// column floor((x0 + ox) / zoom), row floor((y0 + oy) / zoom), or the
// background outside the image. Shrunk (shrink k > 1, zoom 1) it shows
// column (x0 + ox) k, row (y0 + oy) k: the top-left pixel of each k x k
// block, the pixel the readout names there. Throws on a zero range, a
// zoom outside 1..16, a shrink outside 1..4 or with a zoom, or a side
// outside 1..16384.
void render_view(const bild16_base& b, const view_params& p, std::vector<std::uint8_t>& out);
void render_view(const bildfloat_base& b, const view_params& p, std::vector<std::uint8_t>& out);

// A vertical colour bar, high at the top: row r has the colour of the value
// at fraction (height - 1 - r) / (height - 1) of the range.
void render_colorbar(colormap m, bool log, int width, int height, std::vector<std::uint8_t>& out);

// The p1-th and p2-th percentiles (0..100) of the finite pixels, linearly
// interpolated between ranks as numpy.percentile does. Throws when no
// pixel is finite or a percentage lies outside 0..100.
std::array<double, 2> percentiles(const bild16_base& b, double p1, double p2);
std::array<double, 2> percentiles(const bildfloat_base& b, double p1, double p2);

}  // namespace quenz

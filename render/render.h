// Grey-level rendering of images for display: 16-bit counts or floats are
// mapped to one byte per pixel in a render buffer, and the minimum and
// maximum of a rectangle pick a contrast range. Plain C++; the Tk side that
// hands the buffer to a photo image is display/photo.cpp.
#pragma once
#include <cstdint>
#include <memory>

#include "imgclass/core/imgbase.h"

namespace quenz {

// 512 x 512 grey levels, row by row: row y, column x at y * 512 + x.
class render_buffer {
public:
    static constexpr int width = image_size, height = image_size;
    render_buffer() : px_(new std::uint8_t[std::size_t(width) * height]) {}
    std::uint8_t* data() { return px_.get(); }
    const std::uint8_t* data() const { return px_.get(); }
    std::uint8_t at(int y, int x) const { return px_[std::size_t(y) * width + x]; }

private:
    std::unique_ptr<std::uint8_t[]> px_;
};

template <class T> struct minmax_t {
    T min, max;
};

// Automatic mapping: the high byte of a count; floats as the range 0..1.
void render_auto(const bild16_base& b, render_buffer& out);
void render_auto(const bildfloat_base& b, render_buffer& out);

// (p - low) * 255 / (high - low), truncated toward zero and clamped to
// 0..255; low > high inverts the scale. NaN gives 0. low == high throws
// "Error: Zero range (<command>), low==high==<low>", naming the command
// the script called.
void render_contrast(const bild16_base& b, int low, int high, render_buffer& out,
                     const char* command = "getimage_contrast");
void render_contrast(const bildfloat_base& b, float low, float high, render_buffer& out,
                     const char* command = "getimage_contrast");

// Minimum and maximum over the inclusive rectangle between two corners
// (x is the column); corners may come in either order. Every coordinate
// must lie in 0..511, otherwise "Index error: getminmax x1=.. x2=.. y1=.. y2=..".
minmax_t<unsigned short> getminmax(const bild16_base& b, int x1, int y1, int x2, int y2);
minmax_t<float> getminmax(const bildfloat_base& b, int x1, int y1, int x2, int y2);

// Renders with the minimum and maximum of the rectangle as the range, or
// with the full range (0..65535, 0..1) when the rectangle is uniform.
minmax_t<unsigned short> render_range(const bild16_base& b, int x1, int y1, int x2, int y2,
                                      render_buffer& out);
minmax_t<float> render_range(const bildfloat_base& b, int x1, int y1, int x2, int y2,
                             render_buffer& out);

}  // namespace quenz

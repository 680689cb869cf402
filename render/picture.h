// Quick-look pictures: an image rendered to grey levels exactly as
// getimage / getimage_contrast put them into a photo, saved as an 8-bit
// PNG. Plain C++ (no Tk), so batch scripts without a display can use it.
#pragma once
#include <array>

#include "imgclass/core/imgbase.h"
#include "render/colormap.h"

namespace quenz {

// The automatic mapping of getimage.
void write_png(const char* name, const bild16_base& b);
void write_png(const char* name, const bildfloat_base& b);
// The range mapping of getimage_contrast (its zero-range error included,
// raised before any file is touched).
void write_png(const char* name, const bild16_base& b, int low, int high);
void write_png(const char* name, const bildfloat_base& b, float low, float high);

// quenz-view's automatic range of an image: the 0.5 and 99.5 percentiles
// of its finite pixels; a constant image as write_png maps it (counts over
// 0..65280, floats over 0..1); counts widened to whole numbers, and a range
// that would be empty made one count (one float step) wide.
std::array<double, 2> view_auto_range(const bild16_base& b);
std::array<double, 2> view_auto_range(const bildfloat_base& b);

// The picture quenz-view shows at zoom 1 for the range low..high and the
// colour map (linear, NaN in magenta), as an RGB PNG. The zero-range error
// comes before any file is touched.
void write_png_view(const char* name, const bild16_base& b, double low, double high, colormap m);
void write_png_view(const char* name, const bildfloat_base& b, double low, double high, colormap m);

}  // namespace quenz

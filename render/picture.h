// Quick-look pictures: an image rendered to grey levels exactly as
// getimage / getimage_contrast put them into a photo, saved as an 8-bit
// PNG. Plain C++ (no Tk), so batch scripts without a display can use it.
#pragma once
#include "imgclass/core/imgbase.h"

namespace quenz {

// The automatic mapping of getimage.
void write_png(const char* name, const bild16_base& b);
void write_png(const char* name, const bildfloat_base& b);
// The range mapping of getimage_contrast (its zero-range error included,
// raised before any file is touched).
void write_png(const char* name, const bild16_base& b, int low, int high);
void write_png(const char* name, const bildfloat_base& b, float low, float high);

}  // namespace quenz

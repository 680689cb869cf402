// (Named png_file.h: libpng's own header is png.h.)
// PNG files through libpng: lossless 16-bit grey files of a bild16, 8-bit
// grey pictures (the mapping to grey levels is the caller's; see
// render/picture.h), and a reader of 8- and 16-bit grey files.
#pragma once
#include <cstdint>

#include "imgclass/core/imgbase.h"
#include "imgclass/formats/region.h"

class bild16;

namespace quenz {

// The counts as they are, 16-bit grey; all or nothing ("Cannot write to <name>").
void write_png16(const char* name, const bild16_base& img);
// 512 x 512 grey levels, row 0 first, as an 8-bit grey picture.
void write_png8(const char* name, const std::uint8_t* grey);
// A colour picture of any size (quenz-view's snapshots): width x height
// pixels, row 0 first, of 3 (RGB) or 4 (RGBA) bytes each, as an 8-bit RGB
// or RGBA file, all or nothing. A side outside 1..png_max_side is refused,
// naming the file.
constexpr int png_max_side = 65536;
void write_png_colour(const char* name, int width, int height, int channels,
                      const std::uint8_t* px);

// An 8-bit grey PNG (each level times 256, as read_pgm) or a 16-bit one
// (as it is). Anything else is refused, naming the file; the image is
// then unchanged.
// With a region (region.h) the file may be larger (not interlaced).
void read_png(const char* name, bild16& img, const Region& region = {});

}  // namespace quenz

// TIFF files through libtiff: one grey page per image, 16-bit unsigned for
// a bild16, 32-bit IEEE float for a bildfloat.
#pragma once
#include <string_view>
#include <vector>

#include "imgclass/core/imgbase.h"
#include "imgclass/formats/region.h"
#include "imgclass/formats/tiff_ifd.h"

class bild16;
class bildfloat;

namespace quenz {

enum class tiff_compression { none, deflate, lzw };

// "none", "deflate" or "lzw"; anything else throws a message that lists them.
tiff_compression parse_tiff_compression(std::string_view word);

// Writes one page, top row first; all or nothing ("Cannot write to <name>").
void write_tiff(const char* name, const bild16_base& img,
                tiff_compression c = tiff_compression::none);
void write_tiff(const char* name, const bildfloat_base& img,
                tiff_compression c = tiff_compression::none);

// Reads page `page` (counted from 0) of a grey TIFF, uncompressed or in
// LZW, deflate or PackBits (what users' tools write by default; any other
// codec is refused before libtiff reads the file), in any strip or tile
// layout libtiff reads. Into a bild16: 8-bit samples times 256, 16-bit as
// they are, float refused. Into a bildfloat: floats rounded to float,
// 8/16-bit as `bildfloat f $b` converts counts. A refused or broken file
// leaves the image unchanged and names the file.
// With a region (region.h), the page may be larger than the image.
void read_tiff(const char* name, bild16& img, int page = 0, const Region& r = {});
void read_tiff(const char* name, bildfloat& img, int page = 0, const Region& r = {});

// The file's pages and one page's tags, from our own bounded walk of its
// directories (tiff_ifd.h); libtiff is not involved.
long tiff_pages(const char* name);
std::vector<TiffEntry> tiff_tags(const char* name, int page);

}  // namespace quenz

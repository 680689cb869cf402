// The walk over a FITS file's HDUs that decides what cfitsio may see.
//
// cfitsio parses every header it passes and trusts what it reads there
// (axis counts, tile parameters, HDU numbers), and its decoders trust the
// streams. So the file is walked here, from its bytes, with a bound on
// everything; only the image of the requested HDU reaches cfitsio, as a
// one-HDU file in memory with a header made here.
#pragma once
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>
#include <functional>

#include "imgclass/formats/region.h"

namespace quenz::fits {

constexpr std::size_t card = 80;
constexpr std::size_t block = 2880;  // FITS files are made of these
constexpr int max_naxis = 999;       // the standard's limit
// Bounds of the walk: a header longer than this is no header a camera or
// the field's tools write, and the HDUs of one file are walked at most
// this far (multi-extension files of mosaics have about a hundred).
constexpr std::size_t max_header_blocks = 1000;
constexpr int max_hdus = 10000;
// What the walk may read past on a pipe or device, which cannot seek:
// the bound of a read that never ends.
constexpr std::uint64_t max_stream_skip = std::uint64_t(1) << 30;

// What a header says about its HDU: its kind, shape and size. The cards
// are checked as they are read; nothing else of the header is kept.
struct Header {
    int index = 0;             // counted from 1
    std::string xtension;      // empty for the primary HDU
    int bitpix = 0;
    int naxis = 0;
    std::vector<std::int64_t> axes;  // NAXIS1 ...
    std::int64_t pcount = 0, gcount = 1;
    bool zimage = false;             // ZIMAGE = T: a tile-compressed image
    std::uint64_t header_bytes = 0;  // whole blocks, END included
    // The data's length without padding; none when it overflows 2^62.
    std::optional<std::uint64_t> data_bytes;
    // The cards that turn stored values into physical ones (BZERO,
    // BSCALE, BLANK), every one of them, as they stand: parsed only when
    // the image is read (scaling_of), so a listing still shows a header
    // whose scaling cannot be read.
    std::vector<std::string> scaling;
};

// What an image's scaling cards say, each present only when its card is:
// physical = BZERO + BSCALE * stored, BLANK the stored value of an
// undefined integer pixel.
struct Scaling {
    std::optional<double> bscale, bzero;
    std::optional<std::int64_t> blank;
};

// The scaling cards of `h` parsed strictly: BSCALE and BZERO reals (BSCALE
// not 0), BLANK an integer. A card without a value, a value that is no
// number or not a double, and two cards of one keyword that disagree
// (readers differ in which they take) throw quenz::Error naming the file
// and the card; cards that repeat the same value count once.
Scaling scaling_of(const char* name, const Header& h);

// Reads the image of HDU `hdu` (counted from 1) of the file `name`,
// literally that name, and returns it as a FITS file of one HDU: a header
// of the mandatory cards and the scaling cards, both written anew from the
// values checked here (into `scaling` too, when given), then the image's
// data. Only a 512 x 512 image of NAXIS 2 (or 3 with NAXIS3 = 1) is
// returned; anything else throws quenz::Error naming the file.
std::vector<unsigned char> extract_image(const char* name, int hdu, Scaling* scaling = nullptr);

// Plane `plane` (counted from 0) of the image in HDU `hdu`: NAXIS 2 or
// more, 512 x 512 pixels a plane, the planes the product of NAXIS3 on.
// Returned as extract_image returns an image, with NAXIS 2; the file must
// hold the whole cube.
std::vector<unsigned char> extract_plane(const char* name, int hdu, std::int64_t plane,
                                         Scaling* scaling = nullptr);

// A region of a larger image (region.h) of HDU `hdu`: the image itself
// (plane == whole_image, checked as extract_image checks it) or plane
// `plane` of a cube (as extract_plane: a negative plane is out of range). `use` gets the header, its scaling, where the
// region lies (rows counted from the top, FITS row 1 being the bottom) and
// a reader of one file row of the region: the region's columns of FITS
// row `fits_row` (counted from 0), as stored (big-endian BITPIX samples).
// Only a regular file is read so (its rows are read bottom to top).
struct RegionRows {
    const Header& h;
    const Scaling& s;
    Window w;
    std::function<void(std::uint64_t fits_row, unsigned char* out)> row;
};
constexpr std::int64_t whole_image = INT64_MIN;
void read_region(const char* name, int hdu, std::int64_t plane, const Region& r,
                 const std::function<void(const RegionRows&)>& use);

// Every HDU of the file, each checked as the walk to a later one checks
// it (its data there whole); a file of more than max_hdus is refused.
std::vector<Header> list_hdus(const char* name);

// The cards of HDU `hdu` before its END card, as they stand (80 columns).
std::vector<std::string> header_cards(const char* name, int hdu);

// How many planes an image of NAXIS 2 or more holds (the product of
// NAXIS3 on; 1 for NAXIS 2), -1 when that product passes 2^62, 0 for no image.
std::int64_t planes(const Header& h);

// The integer, logical or string value of a card, or none when the card
// has no such value (for the unit tests too).
std::optional<std::int64_t> int_value(const char* card80);
// A real value in fixed or free format: a sign, digits with at most one
// decimal point, an exponent after E or D (either case). None when the card
// has no such value; `out_of_range` set when it has one a double cannot
// hold (1.0D400).
std::optional<double> real_value(const char* card80, bool* out_of_range = nullptr);
std::optional<bool> logical_value(const char* card80);
std::optional<std::string> string_value(const char* card80);

}  // namespace quenz::fits

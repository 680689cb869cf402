// Larger files into a 512 x 512 image, as labs reduce bigger sensors:
// binning (each pixel the mean of an N x N block) and a region of
// interest (the 512N x 512N pixels from a given corner). The readers
// decode the region's rows band by band; the binning is done here, once
// for every format, so that all readers round alike.
#pragma once
#include <cstdint>
#include <functional>
#include <span>

#include "imgclass/core/samples.h"
#include "imgclass/formats/format.h"

class bild16;
class bildfloat;

namespace quenz {

inline constexpr unsigned max_bin = 16;

// The options `-bin N` and `-roi X Y`, as the readers' records list them.
inline constexpr FormatOption bin_option{"bin", {}, "each pixel the mean of an N x N block, N from 1 to 16 (default 1)", 1};
inline constexpr FormatOption roi_option{
    "roi", {}, "the 512N x 512N region whose top-left pixel is column X, row Y (default: the whole file)", 0, 2};

struct Region {
    unsigned bin = 1;
    bool roi = false;
    std::uint64_t x = 0, y = 0;  // the region's top-left column and row, with roi
    bool plain() const { return bin == 1 && !roi; }
};

std::span<const FormatOption> region_options();  // the two
// The region a call's options ask for; a bin outside 1..16 is refused
// with "bad value "N" for -bin: must be a whole number from 1 to 16".
Region region_of(const FormatOptions& o);

// Where a region lies in a file of width x height pixels: its corner, its
// side (512N) and N.
struct Window {
    std::uint64_t x, y, side;
    unsigned bin;
};
// Refuses what does not fit: without roi a file that is not 512N x 512N
// ("expected 512 x 512 pixels, got W x H", with a hint at -roi and -bin
// when a region would fit), with roi a region outside the file (its numbers).
Window place(const char* name, std::uint64_t width, std::uint64_t height, const Region& r);

// Gives `rows` rows of the window from window row `row` on: side values
// each, from the window's left column, as doubles.
using BandReader = std::function<void(std::uint64_t row, unsigned rows, double* out)>;

// The 512 x 512 image of the window, band by band (N rows at a time). A
// bild16 takes (sum + N²/2) / N² of each block's counts, a bildfloat the
// block's mean summed in double in row order and rounded once to float.
// The image changes only when every band was read.
void read_binned(bild16& img, const Window& w, const BandReader& band);
void read_binned(bildfloat& img, const Window& w, const BandReader& band);

// Samples of a file as the values binned: into a bild16 the counts (8-bit
// samples times 256; floats are refused before any reading), into a
// bildfloat the values the plain reader would store, unrounded (counts
// over 65535, floats as they are). Sample i is at p + i * stride samples.
void sample_values(sample_kind k, bool big_endian, bool counts, const unsigned char* p, std::size_t n,
                   double* out, std::size_t stride = 1);

}  // namespace quenz

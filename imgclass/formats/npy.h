// NumPy .npy files, read and written here: a small header (a Python dict
// literal, parsed strictly) and the array's bytes.
#pragma once
#include <cstddef>
#include <span>

#include "imgclass/core/imgbase.h"
#include "imgclass/formats/region.h"

class bild16;
class bildfloat;

namespace quenz {

// The longest header read; numpy's own are about a hundred bytes.
inline constexpr std::size_t npy_max_header = 4096;

// Format version 1.0, '<u2' (bild16) or '<f4' (bildfloat), shape
// (512, 512), C order: the bytes numpy.save writes for the same array.
void write_npy(const char* name, const bild16_base& img);
void write_npy(const char* name, const bildfloat_base& img);

// Into a bild16: '<u2', '>u2' (and '|u1' times 256). Into a bildfloat:
// '<f4', '>f4', '<f8', '>f8' (rounded to float) and the unsigned types as
// `bildfloat f $b` converts counts. Fortran order is transposed. Anything
// else is refused, naming the file; the image is then unchanged.
// With a region (region.h) the array may be larger than the image.
void read_npy(const char* name, bild16& img, const Region& r = {});
void read_npy(const char* name, bildfloat& img, const Region& r = {});

// The same, from the bytes of a file called `name` (the fuzz target).
void decode_npy(bild16& img, std::span<const unsigned char> file, const char* name);
void decode_npy(bildfloat& img, std::span<const unsigned char> file, const char* name);

}  // namespace quenz

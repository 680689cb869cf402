// Pixels in and out in bulk: the whole image as little-endian bytes, rows
// first (uint16 counts, IEEE float32, or (re, im) float32 pairs), and one
// row or column as values.
#pragma once
#include <cstddef>
#include <span>
#include <vector>

#include "imgclass/core/imgbase.h"

namespace quenz {

// Bytes of the whole image: 524288 (bild16), 1048576 (bildfloat), 2097152 (bildcomplex).
template <class T> inline constexpr std::size_t image_bytes = std::size_t(image_size) * image_size * sizeof(T);

void to_bytes(const bild16_base& b, unsigned char* out);
void to_bytes(const bildfloat_base& f, unsigned char* out);
void to_bytes(const bildcomplex_base& c, unsigned char* out);
// Every pixel from n bytes; n other than the image's size throws
// "<what>: expected <size> bytes, given <n>" and changes nothing.
void from_bytes(bild16_base& b, const unsigned char* in, std::size_t n, const char* what);
void from_bytes(bildfloat_base& f, const unsigned char* in, std::size_t n, const char* what);
void from_bytes(bildcomplex_base& c, const unsigned char* in, std::size_t n, const char* what);

// The 512 values of row y or column x; outside 0..511 throws
// "<what>: row outside the image (y=..)" (column, x=.. for columns).
template <class Img> std::vector<typename Img::data_t> get_row(const Img& img, const char* what, long y);
template <class Img> std::vector<typename Img::data_t> get_col(const Img& img, const char* what, long x);
// Exactly 512 values, else "<what>: 512 values expected, <n> given" and
// nothing changes.
template <class Img>
void set_row(Img& img, const char* what, long y, std::span<const typename Img::data_t> v);
template <class Img>
void set_col(Img& img, const char* what, long x, std::span<const typename Img::data_t> v);

}  // namespace quenz

// Headerless raw images, as ImageJ's raw import reads them: 512 x 512
// samples of one type (16-bit counts or 32-bit floats) in one byte order,
// row by row from the top, after a header of `offset` bytes that is skipped
// unread. Bytes after the image are left alone (a file of several frames
// is read frame by frame with the offset).
#pragma once
#include <cstdint>
#include <span>

#include "imgclass/core/imgbase.h"

class bild16;
class bildfloat;

namespace quenz {

class FormatOptions;

// The largest offset read (and dropped) from a pipe or device: 1 GiB.
inline constexpr std::uint64_t raw_max_stream_offset = std::uint64_t(1) << 30;

// Options: type u16|f32 (default the image's own: u16 for a bild16, f32
// for a bildfloat), order little|big (default little), offset N (read only).
// Reading also takes bin N and roi X Y (region.h) over a file image of
// width x height pixels (default 512N square, N the bin).
// A bild16 reads counts only; a bildfloat reads either (counts as `bildfloat
// f $b` converts them). The image is unchanged on any failure.
void read_raw(const char* name, bild16& img, const FormatOptions& opt);
void read_raw(const char* name, bildfloat& img, const FormatOptions& opt);
// A bild16 writes counts or floats (each count exactly); a bildfloat writes
// floats only.
void write_raw(const char* name, const bild16_base& img, const FormatOptions& opt);
void write_raw(const char* name, const bildfloat_base& img, const FormatOptions& opt);

// The image from the bytes after the offset (the fuzz target's way in):
// `bytes` may be short, and is then refused with its size.
void decode_raw(bild16& img, std::span<const unsigned char> bytes, const FormatOptions& opt, const char* name);
void decode_raw(bildfloat& img, std::span<const unsigned char> bytes, const FormatOptions& opt, const char* name);

}  // namespace quenz

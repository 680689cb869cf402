// Grey samples decoded by a file reader, stored into an image. The readers
// check everything first, so storing cannot fail halfway: an image is
// either fully replaced or left as it was.
#pragma once
#include <cstddef>

class bild16;
class bildfloat;

namespace quenz {

enum class sample_kind { u8, u16, f32, f64 };

std::size_t sample_size(sample_kind k);
const char* sample_name(sample_kind k);  // "8-bit unsigned", ...

// 512 x 512 samples at p (no alignment needed), row 0 first, or column 0
// first when transposed (Fortran order).
struct grey_samples {
    sample_kind kind;
    const unsigned char* p;
    bool big_endian = false;
    bool transposed = false;
};

// Into a bild16: 8-bit samples times 256 (as read_pgm), 16-bit as they
// are. Float samples are refused (naming the file) before anything changes.
void store(bild16& img, const grey_samples& s, const char* name);
// Into a bildfloat: floats rounded to float; 8- and 16-bit samples become
// counts as above, which bildfloat::from_bild16 turns into count / 65535.
void store(bildfloat& img, const grey_samples& s);

// Refuses float samples for a bild16 with "<name>: <kind> samples: read the
// file into a bildfloat".
void require_counts(sample_kind k, const char* name);

// "<name>: expected 512 x 512 pixels, got W x H" unless w and h are 512.
void require_size(long long w, long long h, const char* name);
// "NAME: expected S x S pixels, got W x H", with a hint at -roi and -bin
// when the file is at least 512 x 512.
[[noreturn]] void refuse_size(const char* name, unsigned long long side, long long w, long long h);

}  // namespace quenz

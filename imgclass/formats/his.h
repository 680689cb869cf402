// HIS exposure files as bytes: the file readers read the whole file and
// hand it here, and the fuzz target hands its input here directly.
#pragma once
#include <cstddef>
#include <span>

class bild16;

namespace quenz {

inline constexpr std::size_t his_pixel_offset = 100;
inline constexpr std::size_t his_file_size = his_pixel_offset + std::size_t(512) * 512 * 2;

// Sets header and pixels of img from the bytes of the HIS file `name`, or
// throws an error naming the file and leaves img as it was.
void decode_his(bild16& img, std::span<const unsigned char> file, const char* name);

}  // namespace quenz

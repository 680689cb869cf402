// Gnuplot binary matrix files as bytes: the file reader reads the whole
// file and hands it here, and the fuzz target hands its input here directly.
#pragma once
#include <cstddef>
#include <span>

class bildfloat;

namespace quenz {

inline constexpr std::size_t gnuplot_file_size = std::size_t(513) * 513 * 4;

// Sets the pixels of img from the bytes of the gnuplot file `name`, or
// throws and leaves img as it was.
void decode_gnuplot(bildfloat& img, std::span<const unsigned char> file, const char* name);

}  // namespace quenz

// Constants shared by every image class.
#pragma once
#include <bit>
#include <cstdint>

namespace quenz {

inline constexpr int image_size = 512;
inline constexpr unsigned short bild16_intensity_max = 65535;
inline constexpr unsigned short bild16_intensity_min = 0;
// Pixel size, the length unit of gnuplot axes and surface slopes.
inline constexpr float bildfloat_pix_size = std::bit_cast<float>(std::uint32_t{0x3EBA59C1u});
// Marks masked pixels.
inline constexpr float quiet_nan = std::bit_cast<float>(std::uint32_t{0x7FC00000u});

}  // namespace quenz

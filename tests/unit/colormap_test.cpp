#include <gtest/gtest.h>

#include <cmath>

#include "render/colormap.h"

using namespace quenz;

// The ends of each map, viridis through its published colours (level
// 255 * k / 9 lands exactly on the k-th), and its brightness rising.
TEST(Colormap, EndsAndPublishedColours) {
    auto hex = [](rgb c) { return (unsigned(c.r) << 16) | (unsigned(c.g) << 8) | c.b; };
    const auto& v = colormap_table(colormap::viridis);
    const unsigned pts[10] = {0x440154, 0x482878, 0x3E4A89, 0x31688E, 0x26828E,
                              0x1F9E89, 0x35B779, 0x6DCD59, 0xB4DE2C, 0xFDE725};
    for (int k = 0; k < 10; ++k) {
        if ((255 * k) % 9 == 0) {
            EXPECT_EQ(hex(v[255 * k / 9]), pts[k]) << k;
        }
    }
    EXPECT_EQ(hex(v[0]), 0x440154u);
    EXPECT_EQ(hex(v[255]), 0xFDE725u);
    double prev = -1;
    for (const auto& c : v) {
        double luma = 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b;
        EXPECT_GE(luma, prev - 0.5);
        prev = luma;
    }
    EXPECT_EQ(hex(colormap_table(colormap::heat)[0]), 0x000000u);
    EXPECT_EQ(hex(colormap_table(colormap::heat)[85]), 0xFF0000u);
    EXPECT_EQ(hex(colormap_table(colormap::heat)[170]), 0xFFFF00u);
    EXPECT_EQ(hex(colormap_table(colormap::heat)[255]), 0xFFFFFFu);
    EXPECT_EQ(hex(colormap_table(colormap::invgrey)[0]), 0xFFFFFFu);
    EXPECT_THROW(colormap_named("jet"), std::runtime_error);
}

// Levels: truncated linear, log from 0 to 255 over the range, NaN apart.
TEST(Colormap, Levels) {
    EXPECT_EQ(view_level(3000, 1000, 5000, false), 127);
    EXPECT_EQ(view_level(999, 1000, 5000, false), 0);
    EXPECT_EQ(view_level(1e30, 1000, 5000, false), 255);
    EXPECT_EQ(view_level(1000, 5000, 1000, false), 255);
    EXPECT_EQ(view_level(1000, 1000, 5000, true), 0);
    EXPECT_EQ(view_level(5000, 1000, 5000, true), 255);
    EXPECT_EQ(view_level(1004, 1000, 5000, true), int(255 * std::log1p(1.0) / std::log1p(1000.0)));
    EXPECT_EQ(view_level(std::nan(""), 0, 1, true), -1);
}

// Percentiles of a known distribution: a quarter each of 0, 1, 2, 3.
TEST(Colormap, PercentilesInterpolateBetweenRanks) {
    bild16_base b;
    for (std::size_t i = 0; i < b.npixels(); ++i) b.data()[i] = std::uint16_t(i % 4);
    auto p = percentiles(b, 0, 100);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 3);
    // rank 0.5 * (n - 1) lies between the last 1 and the first 2
    p = percentiles(b, 50, 25);
    EXPECT_DOUBLE_EQ(p[0], 1.5);
    EXPECT_DOUBLE_EQ(p[1], 0.75);  // rank 65535.75: a quarter after the last 0
}

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "testutil.h"
#include "render/render.h"

using quenz::render_buffer;

using testutil::error_of;

namespace {

// The grey level by exact integer arithmetic: (p - low) * 255 / (high - low)
// truncated toward zero, then clamped.
int exact_level(long long p, long long low, long long high) {
    long long q = (p - low) * 255 / (high - low);
    return int(std::clamp(q, 0LL, 255LL));
}

}  // namespace

// Every count under several ranges: computed in double, the level must never
// round across a boundary of the exact quotient.
TEST(Render, ContrastOfEveryCountMatchesExactArithmetic) {
    const int ranges[][2] = {{0, 1000}, {1000, 0}, {0, 65535}, {7, 8}, {-5, 3},
                             {40000, 39999}, {123, 45678}, {-2147483647, 2147483647}};
    bild16_base b;
    for (int i = 0; i < 65536; ++i) b.data()[i] = static_cast<unsigned short>(i);
    // the rest of the image repeats the ramp three more times
    for (std::size_t i = 65536; i < b.npixels(); ++i) b.data()[i] = b.data()[i - 65536];
    render_buffer out;
    for (auto& r : ranges) {
        render_contrast(b, r[0], r[1], out);
        int bad = 0;
        for (std::size_t i = 0; i < b.npixels(); ++i)
            bad += out.data()[i] != exact_level(b.data()[i], r[0], r[1]);
        EXPECT_EQ(bad, 0) << r[0] << ".." << r[1];
    }
}

// Infinities and pixels far outside a tiny range saturate by sign (the
// photo tests cover the ordinary levels; scripts cannot pass infinities).
TEST(Render, FloatSaturatesBySign) {
    bildfloat_base f;
    render_buffer out;
    const float inf = std::numeric_limits<float>::infinity();
    const float v[] = {inf, -inf, 1.0f, -1.0f, std::nanf("")};
    const int want[] = {255, 0, 255, 0, 0};
    for (int i = 0; i < 5; ++i) f.set(3, i, v[i]);
    render_auto(f, out);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(out.at(3, i), want[i]) << v[i];
    render_contrast(f, 0.0f, 1e-30f, out);  // 1 is 2.55e32 levels up
    for (int i = 0; i < 5; ++i) EXPECT_EQ(out.at(3, i), want[i]) << v[i];
    render_contrast(f, 0.0f, -inf, out);  // every finite pixel lands on 0 / -inf
    EXPECT_EQ(out.at(3, 2), 0);
    EXPECT_EQ(out.at(3, 0), 0);  // inf / -inf is NaN
}

// A refused range leaves the buffer as it was: nothing reaches the photo.
TEST(Render, ZeroRangeDrawsNothing) {
    bild16_base b;
    bildfloat_base f;
    render_buffer out;
    std::fill(out.data(), out.data() + b.npixels(), std::uint8_t(77));
    EXPECT_EQ(error_of([&] { render_contrast(b, 7, 7, out); }),
              "Error: Zero range (getimage_contrast), low==high==7");
    EXPECT_NE(error_of([&] { render_contrast(f, 0.5f, 0.5f, out); }), testutil::nothing_thrown);
    EXPECT_EQ(out.at(0, 0), 77);
    EXPECT_EQ(out.at(511, 511), 77);
}

TEST(Render, MinMaxFloatSkipsNaNAfterTheFirstPixel) {
    bildfloat_base f;
    std::fill(f.data(), f.data() + f.npixels(), 0.25f);
    f.set(0, 1, std::nanf(""));
    f.set(0, 2, -1.5f);
    f.set(0, 300, 7.0f);
    f.set(0, 301, std::nanf(""));
    auto r = quenz::getminmax(f, 0, 0, 2, 0);
    EXPECT_EQ(r.min, -1.5f);
    EXPECT_EQ(r.max, 0.25f);
    auto row = quenz::getminmax(f, 511, 0, 0, 0);  // long enough for vector code
    EXPECT_EQ(row.min, -1.5f);
    EXPECT_EQ(row.max, 7.0f);
    // a NaN first pixel fails every comparison: both stay NaN
    auto first = quenz::getminmax(f, 1, 0, 511, 0);
    EXPECT_TRUE(std::isnan(first.min) && std::isnan(first.max));
}


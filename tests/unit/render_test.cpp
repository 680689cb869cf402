#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "display/render.h"

using quenz::render_buffer;

namespace {

std::string error_of(auto&& f) {
    try {
        f();
    } catch (const quenz::Error& e) {
        return e.what();
    }
    return "no error";
}

// The grey level by exact integer arithmetic: (p - low) * 255 / (high - low)
// truncated toward zero, then clamped.
int exact_level(long long p, long long low, long long high) {
    long long q = (p - low) * 255 / (high - low);
    return int(std::clamp(q, 0LL, 255LL));
}

}  // namespace

TEST(Render, AutoTakesTheHighByte) {
    bild16_base b;
    render_buffer out;
    const unsigned short v[] = {0, 255, 256, 300, 32768, 65535};
    for (int i = 0; i < 6; ++i) b.set(7, 100 + i, v[i]);
    render_auto(b, out);
    const int want[] = {0, 0, 1, 1, 128, 255};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(out.at(7, 100 + i), want[i]) << v[i];
    EXPECT_EQ(out.at(511, 511), 0);  // untouched pixels are zero counts
}

// Every count 0..65535 under several ranges, against integer arithmetic:
// the double computation must never round across a grey-level boundary.
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

TEST(Render, ContrastExamples) {
    bild16_base b;
    render_buffer out;
    const unsigned short v[] = {0, 500, 1000, 1001, 65535};
    for (int i = 0; i < 5; ++i) b.set(0, i, v[i]);
    render_contrast(b, 0, 1000, out);
    EXPECT_EQ(out.at(0, 0), 0);
    EXPECT_EQ(out.at(0, 1), 127);
    EXPECT_EQ(out.at(0, 2), 255);
    EXPECT_EQ(out.at(0, 3), 255);
    EXPECT_EQ(out.at(0, 4), 255);
    render_contrast(b, 1000, 0, out);  // inverted scale
    EXPECT_EQ(out.at(0, 0), 255);
    EXPECT_EQ(out.at(0, 2), 0);
    EXPECT_EQ(out.at(0, 4), 0);
}

TEST(Render, FloatMapping) {
    bildfloat_base f;
    render_buffer out;
    const float inf = std::numeric_limits<float>::infinity();
    const float v[] = {0.5f, -0.25f, 1.0f, 1.5f, std::nanf(""), 3e38f, -3e38f, inf, -inf, 0.999f};
    const int want[] = {127, 0, 255, 255, 0, 255, 0, 255, 0, 254};
    for (int i = 0; i < 10; ++i) f.set(3, i, v[i]);
    render_auto(f, out);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(out.at(3, i), want[i]) << v[i];

    // far outside a tiny range: saturates by sign, never wraps
    render_contrast(f, 0.0f, 1e-30f, out);
    EXPECT_EQ(out.at(3, 0), 255);
    EXPECT_EQ(out.at(3, 1), 0);
    EXPECT_EQ(out.at(3, 4), 0);
    // inverted float range
    render_contrast(f, 1.0f, 0.0f, out);
    EXPECT_EQ(out.at(3, 0), 127);
    EXPECT_EQ(out.at(3, 1), 255);
    EXPECT_EQ(out.at(3, 2), 0);
}

TEST(Render, ZeroRangeThrowsAndDrawsNothing) {
    bild16_base b;
    bildfloat_base f;
    render_buffer out;
    std::fill(out.data(), out.data() + b.npixels(), std::uint8_t(77));
    const std::string head = "Error: Zero range (getimage_contrast), low==high==";
    EXPECT_EQ(error_of([&] { render_contrast(b, 7, 7, out); }), head + "7");
    EXPECT_EQ(error_of([&] { render_contrast(b, -3, -3, out); }), head + "-3");
    // floats as a stream writes them by default: six significant digits
    EXPECT_EQ(error_of([&] { render_contrast(f, 0.5f, 0.5f, out); }), head + "0.5");
    EXPECT_EQ(error_of([&] { render_contrast(f, 1e-7f, 1e-7f, out); }), head + "1e-07");
    EXPECT_EQ(error_of([&] { render_contrast(f, 123456789.0f, 123456789.0f, out); }),
              head + "1.23457e+08");
    EXPECT_EQ(error_of([&] { render_contrast(f, 0.1f, 0.1f, out); }), head + "0.1");
    EXPECT_EQ(out.at(0, 0), 77);
    EXPECT_EQ(out.at(511, 511), 77);
}

TEST(Render, MinMaxOfARectangle) {
    bild16_base b;
    std::fill(b.data(), b.data() + b.npixels(), 1000);
    b.set(3, 5, 10);     // row 3, column 5: a corner
    b.set(20, 10, 900);  // the opposite corner
    b.set(21, 10, 5);    // just outside the rectangle
    b.set(10, 7, 5000);
    auto r = quenz::getminmax(b, 5, 3, 10, 20);
    EXPECT_EQ(r.min, 10);
    EXPECT_EQ(r.max, 5000);
    auto s = quenz::getminmax(b, 10, 20, 5, 3);  // corners exchanged
    EXPECT_EQ(s.min, r.min);
    EXPECT_EQ(s.max, r.max);
    auto t = quenz::getminmax(b, 10, 3, 5, 20);  // only x exchanged
    EXPECT_EQ(t.min, r.min);
    auto one = quenz::getminmax(b, 7, 10, 7, 10);
    EXPECT_EQ(one.min, 5000);
    EXPECT_EQ(one.max, 5000);
    auto all = quenz::getminmax(b, 0, 0, 511, 511);
    EXPECT_EQ(all.min, 5);
    EXPECT_EQ(all.max, 5000);
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

TEST(Render, IndexErrorNamesTheCornersAsGiven) {
    bild16_base b;
    render_buffer out;
    EXPECT_EQ(error_of([&] { quenz::getminmax(b, 0, 0, 512, 0); }),
              "Index error: getminmax x1=0 x2=512 y1=0 y2=0");
    EXPECT_EQ(error_of([&] { quenz::getminmax(b, 1, 2, 3, -4); }),
              "Index error: getminmax x1=1 x2=3 y1=2 y2=-4");
    EXPECT_EQ(error_of([&] { quenz::getminmax(b, -1, 511, 511, 511); }),
              "Index error: getminmax x1=-1 x2=511 y1=511 y2=511");
    EXPECT_EQ(error_of([&] { quenz::getminmax(b, 511, 511, 511, 511); }), "no error");
    bildfloat_base f;
    std::fill(out.data(), out.data() + f.npixels(), std::uint8_t(9));
    EXPECT_EQ(error_of([&] { quenz::render_range(f, 0, 512, 0, 0, out); }),
              "Index error: getminmax x1=0 x2=0 y1=512 y2=0");
    EXPECT_EQ(out.at(0, 0), 9);
}

TEST(Render, RangeOfARectangle) {
    bild16_base b;
    std::fill(b.data(), b.data() + b.npixels(), 1000);
    b.set(100, 200, 200);
    b.set(101, 201, 4800 + 200);
    render_buffer out;
    auto r = render_range(b, 190, 90, 210, 110, out);
    EXPECT_EQ(r.min, 200);
    EXPECT_EQ(r.max, 5000);
    EXPECT_EQ(out.at(100, 200), 0);
    EXPECT_EQ(out.at(101, 201), 255);
    EXPECT_EQ(out.at(0, 0), 42);  // 800 * 255 / 4800 = 42.5
    b.set(0, 0, 1400);
    render_range(b, 190, 90, 210, 110, out);
    EXPECT_EQ(out.at(0, 0), 63);  // 1200 * 255 / 4800 = 63.75

    // uniform rectangle: the full range 0..65535, the value twice
    auto u = render_range(b, 300, 300, 400, 400, out);
    EXPECT_EQ(u.min, 1000);
    EXPECT_EQ(u.max, 1000);
    EXPECT_EQ(out.at(350, 350), 3);  // 1000 * 255 / 65535 = 3.89
    EXPECT_EQ(out.at(101, 201), 19);  // 5000 * 255 / 65535 = 19.46

    bildfloat_base f;
    std::fill(f.data(), f.data() + f.npixels(), 2.0f);
    f.set(5, 5, 0.5f);
    auto fu = render_range(f, 10, 10, 20, 20, out);
    EXPECT_EQ(fu.min, 2.0f);
    EXPECT_EQ(fu.max, 2.0f);
    EXPECT_EQ(out.at(5, 5), 127);  // full range 0..1
    EXPECT_EQ(out.at(10, 10), 255);
    auto fr = render_range(f, 0, 0, 10, 10, out);
    EXPECT_EQ(fr.min, 0.5f);
    EXPECT_EQ(fr.max, 2.0f);
    EXPECT_EQ(out.at(5, 5), 0);
    EXPECT_EQ(out.at(0, 0), 255);
}

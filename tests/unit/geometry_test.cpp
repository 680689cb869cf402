// vec2d arithmetic and surface areas.
#include <gtest/gtest.h>

#include <cmath>

#include "surface.h"
#include "vec2d.h"

TEST(Vec2d, Arithmetic) {
    vec2d a{3, 4}, b{1, 2};
    EXPECT_EQ(abs(a), 5.0);
    EXPECT_EQ(b * vec2d(3, 4), 11.0);
    vec2d s = b * 3.0;
    EXPECT_EQ(s.x, 3.0);
    EXPECT_EQ(s.y, 6.0);
    vec2d q = s / 3.0;
    EXPECT_EQ(q.x, 1.0);
    EXPECT_EQ(q.y, 2.0);
    vec2d d = a - b, p = a + b;
    EXPECT_EQ(d.x, 2.0);
    EXPECT_EQ(d.y, 2.0);
    EXPECT_EQ(p.x, 4.0);
    EXPECT_EQ(p.y, 6.0);
    vec2d& self = (a /= 2.0);
    EXPECT_EQ(&self, &a);
    EXPECT_EQ(a.x, 1.5);
    EXPECT_EQ(a.y, 2.0);
}

TEST(Vec2d, DivisionByZeroFollowsIeee) {
    vec2d v = vec2d(1, 0) / 0.0;
    EXPECT_TRUE(std::isinf(v.x));
    EXPECT_TRUE(std::isnan(v.y));
}

namespace {
struct Landscape : ::testing::Test {
    bildfloat img;
    void fill(float v) {
        for (std::size_t i = 0; i < img.npixels(); ++i) img.data()[i] = v;
    }
};
}  // namespace

TEST_F(Landscape, FlatAddsExactlyOnePerPut) {
    fill(0.25f);
    surface s(img);
    EXPECT_EQ(s.get(), 0.0);
    s.put(1, 1);
    s.put(510, 510);
    s.put(200, 300);
    s.put(200, 300);  // a pixel put twice counts twice
    EXPECT_EQ(s.get(), 4.0);
}

TEST_F(Landscape, SlopesOfOnePixelSizePerPixel) {
    fill(0.0f);
    const float rise = 2.0f * quenz::bildfloat_pix_size;
    // Rising along the row only.
    img.set(10, 19, 0.0f);
    img.set(10, 21, rise);
    surface s(img);
    s.put(20, 10);
    EXPECT_EQ(s.get(), std::sqrt(2.0));
    // Rising along both axes, the column one falling.
    img.set(99, 50, rise);
    img.set(101, 50, 0.0f);
    img.set(100, 49, 0.0f);
    img.set(100, 51, rise);
    s.surf = 0.0;
    s.put(50, 100);
    EXPECT_EQ(s.get(), std::sqrt(3.0));
}

TEST_F(Landscape, RefusesPositionsWithoutFourNeighbours) {
    fill(1.0f);
    surface s(img);
    for (auto [x, y] : {std::pair{0, 5}, {511, 5}, {5, 0}, {5, 511}, {-1, -1}, {600, 3}})
        EXPECT_THROW(s.put(x, y), quenz::Error) << x << "," << y;
    EXPECT_EQ(s.get(), 0.0);
    try {
        s.put(0, 7);
        FAIL();
    } catch (const quenz::Error& e) {
        EXPECT_STREQ(e.what(),
                     "surface_put: position (x=0, y=7) needs neighbours outside the image "
                     "(1 <= x, y <= 510)");
    }
}

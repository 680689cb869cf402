#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bildcomplex.h"
#include "bildfloat.h"

namespace {

constexpr float gain = float(2.36961606240022);

bildcomplex random_complex(unsigned seed) {
    bildcomplex img;
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(0.5f, 2.0f);
    for (std::size_t i = 0; i < img.npixels(); ++i) img.data()[i] = {d(gen), d(gen)};
    return img;
}

}  // namespace

TEST(Bildcomplex, BuildDecomposeNormSet) {
    bildfloat re, im;
    for (std::size_t i = 0; i < re.npixels(); ++i) {
        re.data()[i] = float(i % 1000) * 0.25f;
        im.data()[i] = -float(i % 77);
    }
    bildcomplex one(re), two(re, im);
    bildfloat r2, i2;
    one.decompose(r2, i2);
    for (std::size_t i = 0; i < re.npixels(); ++i) {
        ASSERT_EQ(r2.data()[i], re.data()[i]);
        ASSERT_EQ(i2.data()[i], 0.0f);
    }
    two.decompose(r2, i2);
    EXPECT_EQ(r2.rows[3][7], re.rows[3][7]);
    EXPECT_EQ(i2.rows[511][510], im.rows[511][510]);

    two.set(0, 511, 3.0f, 4.0f);
    two.set(511, 0, 1e20f, 1e20f);  // the square overflows to inf: single precision
    bildfloat n;
    EXPECT_EQ(&two.norm(n), &n);
    EXPECT_EQ(n.rows[0][511], 25.0f);
    EXPECT_EQ(n.rows[511][0], INFINITY);
    EXPECT_EQ(n.rows[2][2], re.rows[2][2] * re.rows[2][2] + im.rows[2][2] * im.rows[2][2]);
    EXPECT_THROW(two.set(512, 0, 1, 1), quenz::Error);
    try {
        two.set(0, -1, 1, 1);
    } catch (const quenz::Error& e) {
        EXPECT_STREQ(e.what(), "bildcomplex_set: coordinates outside the image (y=0, x=-1)");
    }
}

TEST(Hamming, CentreRimAndCorners) {
    bildcomplex img = random_complex(1);
    bildcomplex orig(img);
    img.Hamming_window();
    EXPECT_EQ(img.rows[256][256].re, orig.rows[256][256].re * gain);
    EXPECT_EQ(img.rows[256][256].im, orig.rows[256][256].im * gain);
    // rho = 220 is on the circle, not inside: real part 0, imaginary kept.
    for (auto [y, x] : {std::pair{256, 476}, {256, 36}, {36, 256}, {476, 256}, {0, 0},
                        {0, 511}, {511, 0}, {511, 511}}) {
        EXPECT_EQ(img.rows[y][x].re, 0.0f) << y << "," << x;
        EXPECT_EQ(img.rows[y][x].im, orig.rows[y][x].im) << y << "," << x;
    }
    // Just inside the rim the weight is close to 0.0064 * gain; halfway the
    // cosine vanishes and the weight is 0.54^2 * gain.
    EXPECT_NEAR(img.rows[256][475].re / orig.rows[256][475].re, 0.0064 * gain, 1e-4);
    EXPECT_NEAR(img.rows[256][366].re / orig.rows[256][366].re, 0.54 * 0.54 * gain, 1e-6);
    // Radial symmetry: the weight depends on the distance only.
    bildcomplex flat;
    for (std::size_t i = 0; i < flat.npixels(); ++i) flat.data()[i] = {1.0f, 1.0f};
    flat.Hamming_window();
    EXPECT_EQ(flat.rows[256 + 30][256 + 40].re, flat.rows[256 - 50][256].re);
    EXPECT_EQ(flat.rows[256 - 40][256 + 30].im, flat.rows[256][256 + 50].im);
}

TEST(Hamming, OtherCentreWidthAndUnwindow) {
    bildcomplex flat;
    for (std::size_t i = 0; i < flat.npixels(); ++i) flat.data()[i] = {1.0f, 2.0f};
    bildcomplex moved(flat);
    moved.Hamming_window(10.0f, 100.0f, 50.0f);  // centre at column 100, row 50
    EXPECT_EQ(moved.rows[50][100].re, gain);
    EXPECT_EQ(moved.rows[50][110].re, 0.0f);
    EXPECT_EQ(moved.rows[50][110].im, 2.0f);
    EXPECT_GT(moved.rows[50][109].re, 0.0f);
    EXPECT_EQ(moved.rows[100][50].re, 0.0f);
    bildcomplex none(flat);
    none.Hamming_window(0.0f);
    for (std::size_t i = 0; i < none.npixels(); ++i)
        ASSERT_TRUE(none.data()[i].re == 0.0f && none.data()[i].im == 2.0f);

    bildcomplex img = random_complex(2);
    bildcomplex orig(img);
    img.Hamming_window(150.0f, 300.5f, 200.0f).Hamming_unwindow(150.0f, 300.5f, 200.0f);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float dy = float(y) - 200.0f, dx = float(x) - 300.5f;
            if (dx * dx + dy * dy < 150.0f * 150.0f) {
                ASSERT_NEAR(img.rows[y][x].re, orig.rows[y][x].re, 1e-6f * orig.rows[y][x].re * 4);
                ASSERT_NEAR(img.rows[y][x].im, orig.rows[y][x].im, 1e-6f * orig.rows[y][x].im * 4);
            } else {
                ASSERT_EQ(img.rows[y][x].re, 0.0f);
                ASSERT_EQ(img.rows[y][x].im, orig.rows[y][x].im);
            }
        }
}

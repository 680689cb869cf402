#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bildfloat.h"

namespace {

using Img = std::unique_ptr<bildfloat>;

void fill_random(bildfloat& b, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    for (std::size_t i = 0; i < b.npixels(); ++i) b.data()[i] = d(gen);
}

std::vector<float> random_kernel(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(-0.5f, 1.0f);
    std::vector<float> k(static_cast<std::size_t>(n));
    for (auto& v : k) v = d(gen);
    return k;
}

// The plain loop, written out from the rule: kernel already final.
void reference(const bildfloat& src, bildfloat& dst, const std::vector<float>& k, int sx, int sy) {
    int hx = sx / 2, hy = sy / 2;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            if (y < hy || y >= 512 - hy || x < hx || x >= 512 - hx) {
                dst.rows[y][x] = src.rows[y][x];
                continue;
            }
            float acc = 0.0f;
            for (int r = 0; r < sy; ++r)
                for (int c = 0; c < sx; ++c)
                    acc += src.rows[y - hy + r][x - hx + c] * k[std::size_t(r) * sx + c];
            dst.rows[y][x] = acc;
        }
}

bool same_bits(const bildfloat& a, const bildfloat& b) {
    return std::memcmp(a.data(), b.data(), a.npixels() * sizeof(float)) == 0;
}

std::string message_of(auto f) {
    try {
        f();
    } catch (const quenz::Error& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

// Shapes that hit the vector blocks, the overlapping last block, the
// scalar path for narrow interiors, and kernels taller than wide.
TEST(Convolve, BitIdenticalToThePlainLoop) {
    bildfloat src;
    fill_random(src, 1);
    src.rows[100][200] = quenz::quiet_nan;
    src.rows[300][5] = INFINITY;
    for (auto [sx, sy] : {std::pair{1, 1}, {3, 3}, {5, 5}, {11, 11}, {21, 21}, {7, 1}, {1, 9},
                          {31, 3}, {479, 1}, {481, 3}, {501, 1}, {1, 511}, {511, 511}}) {
        auto k = random_kernel(sx * sy, unsigned(sx * 1000 + sy));
        Img got(src.convolve_unnorm(k, sx, sy));
        bildfloat want;
        reference(src, want, k, sx, sy);
        EXPECT_TRUE(same_bits(*got, want)) << sx << "x" << sy;
    }
}

TEST(Convolve, NormalisesInSinglePrecisionInStorageOrder) {
    bildfloat src;
    fill_random(src, 2);
    std::vector<float> k = {1e8f, 1.0f, -1e8f, 3.0f, 0.5f, 2.0f, 1.0f, 1.0f, 1.0f};
    float sum = 0.0f;
    for (float v : k) sum += v;  // 1 is lost against 1e8 in float
    std::vector<float> kn;
    for (float v : k) kn.push_back(v / sum);
    Img got(src.convolve(k, 3, 3));
    bildfloat want;
    reference(src, want, kn, 3, 3);
    EXPECT_TRUE(same_bits(*got, want));
    EXPECT_EQ(k[0], 1e8f);  // the caller's kernel is untouched

    Img five(src.convolve(std::vector<float>{5.0f}, 1, 1));
    EXPECT_TRUE(same_bits(*five, src));
    Img times5(src.convolve_unnorm(std::vector<float>{5.0f}, 1, 1));
    for (std::size_t i = 0; i < src.npixels(); ++i) ASSERT_EQ(times5->data()[i], src.data()[i] * 5.0f);
}

TEST(Convolve, SizeLengthAndZeroSumErrors) {
    bildfloat src;
    fill_random(src, 3);
    std::vector<float> k(25, 1.0f);
    EXPECT_EQ(message_of([&] { delete src.convolve(k, 4, 3); }),
              "Sizes of kernel must be odd (convolve) and positive, sx=4, sy=3");
    EXPECT_EQ(message_of([&] { delete src.convolve(k, 3, 0); }),
              "Sizes of kernel must be odd (convolve) and positive, sx=3, sy=0");
    EXPECT_EQ(message_of([&] { delete src.convolve_unnorm(k, -3, 3); }),
              "Sizes of kernel must be odd (convolve) and positive, sx=-3, sy=3");
    EXPECT_EQ(message_of([&] { delete src.convolve(k, 7, 5); }),
              "Kernel has 25 elements, sx*sy=35 are needed (convolve)");
    EXPECT_EQ(message_of([&] { delete src.convolve(std::vector<float>{1, -1, 0}, 3, 1); }),
              "Kernel may not be zero (convolve)");
    Img unnorm(src.convolve_unnorm(std::vector<float>{1, -1, 0}, 3, 1));
    EXPECT_EQ(unnorm->rows[7][7], src.rows[7][6] - src.rows[7][7]);
    // More elements than needed: the first sx*sy are the kernel.
    Img longer(src.convolve_unnorm(std::vector<float>{0, 0, 0, 0, 1, 0, 0, 0, 0, 9}, 3, 3));
    EXPECT_TRUE(same_bits(*longer, src));
}

TEST(Convolve, NoMirroringAndNanUnderZeroWeight) {
    bildfloat src;
    fill_random(src, 4);
    std::vector<float> corner = {1, 0, 0, 0, 0, 0, 0, 0, 0};
    Img moved(src.convolve_unnorm(corner, 3, 3));
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            bool border = y == 0 || y == 511 || x == 0 || x == 511;
            ASSERT_EQ(moved->rows[y][x], border ? src.rows[y][x] : src.rows[y - 1][x - 1]);
        }
    src.rows[50][60] = quenz::quiet_nan;
    Img spread(src.convolve(corner, 3, 3));
    int nans = 0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
            if (std::isnan(spread->rows[y][x])) {
                ++nans;
                EXPECT_TRUE(std::abs(y - 50) <= 1 && std::abs(x - 60) <= 1) << y << "," << x;
            }
    EXPECT_EQ(nans, 9);
}

TEST(Gaussian, SmallRadiiAndTheKernelShape) {
    bildfloat src;
    fill_random(src, 5);
    for (float r : {0.5f, -0.5f, 0.999f}) {
        bildfloat g(src);
        g.gaussian(r);
        EXPECT_TRUE(same_bits(g, src)) << r;
    }
    bildfloat zero(src);
    zero.gaussian(0.0f);
    for (std::size_t i = 0; i < zero.npixels(); ++i) ASSERT_TRUE(std::isnan(zero.data()[i]));

    // An impulse shows the normalised kernel: 5 x 5 for 2.7, weight exp(-d^2/r).
    bildfloat imp;
    std::fill(imp.data(), imp.data() + imp.npixels(), 0.0f);
    imp.rows[100][100] = 1.0f;
    imp.gaussian(2.7f);
    double sum = 0;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) sum += std::exp(-(dx * dx + dy * dy) / 2.7);
    EXPECT_NEAR(imp.rows[98][98], std::exp(-8 / 2.7) / sum, 1e-7);
    EXPECT_NEAR(imp.rows[100][101], std::exp(-1 / 2.7) / sum, 1e-7);
    EXPECT_EQ(imp.rows[97][100], 0.0f);
    EXPECT_EQ(imp.rows[98][98], imp.rows[102][102]);
    EXPECT_EQ(imp.rows[98][101], imp.rows[101][98]);
}

TEST(Gaussian, NegativeAndHugeRadii) {
    bildfloat src;
    fill_random(src, 6);
    EXPECT_EQ(message_of([&] { src.gaussian(-1.0f); }),
              "Sizes of kernel must be odd (convolve) and positive, sx=-1, sy=-1");
    EXPECT_EQ(message_of([&] { src.gaussian(-3.7f); }),
              "Sizes of kernel must be odd (convolve) and positive, sx=-5, sy=-5");
    EXPECT_EQ(message_of([&] { src.gaussian(-3e9f); }),
              "Sizes of kernel must be odd (convolve) and positive, sx=-5999999999, sy=-5999999999");
    // 255.9 still leaves the four middle pixels an interior; from 256 on
    // no pixel has one, and nothing changes (however large the radius).
    bildfloat g(src);
    g.gaussian(255.9f);
    EXPECT_NE(g.rows[256][256], src.rows[256][256]);
    EXPECT_EQ(g.rows[254][256], src.rows[254][256]);
    for (float r : {256.0f, 1e30f, INFINITY}) {
        bildfloat h(src);
        h.gaussian(r);
        EXPECT_TRUE(same_bits(h, src)) << r;
    }
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "imgclass/core/bildfloat.h"

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
                dst.row(y)[x] = src.row(y)[x];
                continue;
            }
            float acc = 0.0f;
            for (int r = 0; r < sy; ++r)
                for (int c = 0; c < sx; ++c)
                    acc += src.row(y - hy + r)[x - hx + c] * k[std::size_t(r) * sx + c];
            dst.row(y)[x] = acc;
        }
}

bool same_bits(const bildfloat& a, const bildfloat& b) {
    return std::memcmp(a.data(), b.data(), a.npixels() * sizeof(float)) == 0;
}

}  // namespace

// Shapes that hit the vector blocks of 64 pixels, the overlapping last
// block, interiors of 65, 64 and 63 pixels (the last one the scalar path),
// and kernels taller than wide.
TEST(Convolve, BitIdenticalToThePlainLoop) {
    bildfloat src;
    fill_random(src, 1);
    src.row(100)[200] = quenz::quiet_nan;
    src.row(300)[5] = INFINITY;
    for (auto [sx, sy] : {std::pair{1, 1}, {3, 3}, {5, 5}, {11, 11}, {21, 21}, {7, 1}, {1, 9},
                          {31, 3}, {447, 1}, {449, 3}, {451, 1}, {501, 1}, {1, 511}, {511, 511}}) {
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
}

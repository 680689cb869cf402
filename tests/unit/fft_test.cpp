#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "imgclass/fourier/bildcomplex.h"
#include "imgclass/fourier/fft.h"

namespace {

std::vector<double> random_values(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<double> v(n);
    for (auto& x : v) x = d(gen);
    return v;
}

}  // namespace

// P(k) = sum a(n) e^{+2 pi i nk/N} against the naive sum; every length mixes
// the passes differently. Four lanes hold the sequence times 1, 2, 4, 8, so
// each lane must give exactly that multiple of the lone result.
TEST(FftPlan, MatchesNaiveDftAtEveryLengthAndLaneCount) {
    using cl = std::complex<long double>;
    constexpr long double two_pi = 6.283185307179586476925286766559L;
    for (int n = 1; n <= 1024; n *= 2) {
        quenz::FftPlan plan(n);
        auto re = random_values(std::size_t(n), unsigned(n)), im = random_values(std::size_t(n), 99);
        std::vector<double> r1 = re, i1 = im, r4(std::size_t(n) * 4), i4(r4.size());
        for (int k = 0; k < n; ++k)
            for (int l = 0; l < 4; ++l) r4[k * 4 + l] = re[k] * (1 << l), i4[k * 4 + l] = im[k] * (1 << l);
        plan.transform(r1.data(), i1.data(), 1);
        plan.transform(r4.data(), i4.data(), 4);
        double worst = 0;
        for (int k = 0; k < n; ++k) {
            cl s = 0;
            for (int j = 0; j < n; ++j)
                s += cl(re[j], im[j]) * std::polar(1.0L, two_pi * ((long(j) * k) % n) / n);
            int p = plan.position(k);
            worst = std::max(worst, double(std::abs(s - cl(r1[p], i1[p]))));
            for (int l = 0; l < 4; ++l) {
                ASSERT_EQ(r4[p * 4 + l], r1[p] * (1 << l)) << n << " " << k << " " << l;
                ASSERT_EQ(i4[p * 4 + l], i1[p] * (1 << l)) << n << " " << k << " " << l;
            }
        }
        EXPECT_LT(worst, 1e-12 * n) << "n=" << n;
    }
    EXPECT_THROW(quenz::FftPlan(12), quenz::Error);
}

TEST(Fft2d, SizeNotAPowerOfTwoIsReportedAndChangesNothing) {
    std::vector<COMPLEX> img(12, COMPLEX{1.5f, -2.0f});
    for (auto [cols, rows] : {std::pair{3, 4}, {4, 3}, {0, 4}, {4, -4}}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(quenz::fft_2d(img.data(), cols, rows, quenz::fft_forward), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "fft: input array must have dimensions a power of 2");
    }
    for (auto& c : img) EXPECT_TRUE(c.re == 1.5f && c.im == -2.0f);
    // A single row is transformed along the row only: four ones give 4 at
    // the centre, position 2.
    std::vector<COMPLEX> line(4, COMPLEX{1.0f, 0.0f});
    EXPECT_EQ(quenz::fft_2d(line.data(), 4, 1, quenz::fft_forward), 0);
    EXPECT_TRUE(line[2].re == 4.0f && line[0].re == 0.0f && line[1].re == 0.0f);
}

// Rows and columns split over threads in blocks of lanes: any split gives
// the same bits, and the way back restores the image.
TEST(Fft2d, ThreadCountDoesNotMatterAndTheRoundTripRestores) {
    bildcomplex orig;
    auto v = random_values(orig.npixels() * 2, 11);
    for (std::size_t i = 0; i < orig.npixels(); ++i) orig.data()[i] = {float(v[2 * i]), float(v[2 * i + 1])};
    bildcomplex one(orig), two(orig), three(orig);
    quenz::fft_2d(one.data(), 512, 512, quenz::fft_forward, 1);
    quenz::fft_2d(two.data(), 512, 512, quenz::fft_forward, 2);
    quenz::fft_2d(three.data(), 512, 512, quenz::fft_forward, 3);
    std::size_t bytes = orig.npixels() * sizeof(COMPLEX);
    EXPECT_EQ(std::memcmp(one.data(), two.data(), bytes), 0);
    EXPECT_EQ(std::memcmp(one.data(), three.data(), bytes), 0);
    one.FFT_backward();
    double worst = 0;
    for (std::size_t i = 0; i < orig.npixels(); ++i) {
        worst = std::max(worst, double(std::abs(one.data()[i].re - orig.data()[i].re)));
        worst = std::max(worst, double(std::abs(one.data()[i].im - orig.data()[i].im)));
    }
    EXPECT_LT(worst, 2e-6);
}

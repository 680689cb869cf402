#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "bildcomplex.h"
#include "fft.h"

namespace {

using cd = std::complex<double>;
constexpr double two_pi = 6.283185307179586476925286766559;

std::vector<cd> naive_dft(const std::vector<cd>& a, int sign) {
    std::size_t n = a.size();
    std::vector<cd> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<long double> s = 0;
        for (std::size_t j = 0; j < n; ++j) {
            long double ang = sign * two_pi * double((j * k) % n) / double(n);
            s += std::complex<long double>(a[j]) * std::polar(1.0L, ang);
        }
        out[k] = cd(double(s.real()), double(s.imag()));
    }
    return out;
}

std::vector<cd> random_seq(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<cd> a(n);
    for (auto& v : a) v = cd(d(gen), d(gen));
    return a;
}

double max_err(const std::vector<cd>& a, const std::vector<cd>& b) {
    double e = 0;
    for (std::size_t i = 0; i < a.size(); ++i) e = std::max(e, std::abs(a[i] - b[i]));
    return e;
}

void random_image(bildcomplex& img, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    for (std::size_t i = 0; i < img.npixels(); ++i) img.data()[i] = {d(gen), d(gen)};
}

bool same_bits(const bildcomplex& a, const bildcomplex& b) {
    return std::memcmp(a.data(), b.data(), a.npixels() * sizeof(COMPLEX)) == 0;
}

}  // namespace

// Every length uses another mix of radix-8, radix-4 and radix-2 passes.
TEST(FftPlan, PositiveExponentTransformMatchesNaiveDft) {
    for (int n = 1; n <= 1024; n *= 2) {
        auto a = random_seq(std::size_t(n), unsigned(n));
        quenz::FftPlan plan(n);
        std::vector<double> re(n), im(n);
        for (int i = 0; i < n; ++i) re[i] = a[i].real(), im[i] = a[i].imag();
        plan.transform(re.data(), im.data(), 1);
        std::vector<cd> got(n);
        for (int k = 0; k < n; ++k) got[k] = cd(re[plan.position(k)], im[plan.position(k)]);
        EXPECT_LT(max_err(got, naive_dft(a, +1)), 1e-12 * n) << "n=" << n;
    }
}

TEST(FftPlan, LanesGiveTheResultOfALoneSequence) {
    for (int n : {8, 16, 32, 512}) {
        quenz::FftPlan plan(n);
        for (int lanes : {2, 4, 8}) {
            std::vector<double> re(std::size_t(n) * lanes), im(re.size());
            std::vector<std::vector<double>> single_re(lanes), single_im(lanes);
            for (int l = 0; l < lanes; ++l) {
                auto a = random_seq(std::size_t(n), unsigned(100 + l));
                single_re[l].resize(n), single_im[l].resize(n);
                for (int i = 0; i < n; ++i) {
                    re[std::size_t(i) * lanes + l] = single_re[l][i] = a[i].real();
                    im[std::size_t(i) * lanes + l] = single_im[l][i] = a[i].imag();
                }
                plan.transform(single_re[l].data(), single_im[l].data(), 1);
            }
            plan.transform(re.data(), im.data(), lanes);
            for (int l = 0; l < lanes; ++l)
                for (int i = 0; i < n; ++i) {
                    ASSERT_EQ(re[std::size_t(i) * lanes + l], single_re[l][i]);
                    ASSERT_EQ(im[std::size_t(i) * lanes + l], single_im[l][i]);
                }
        }
    }
    EXPECT_THROW(quenz::FftPlan(12), quenz::Error);
}

// Forward: negative exponent, frequency k at (k + N/2) mod N, unscaled;
// backward: the exact inverse.
TEST(Fft1d, DirectionsShiftAndScale) {
    int n = 64;
    auto a = random_seq(std::size_t(n), 7);
    auto f = naive_dft(a, -1);
    quenz::FftPlan plan(n);
    std::vector<double> re(n), im(n);
    for (int i = 0; i < n; ++i) re[i] = a[i].real(), im[i] = a[i].imag();
    quenz::fft_1d(quenz::fft_forward, plan, re.data(), im.data());
    for (int k = 0; k < n; ++k) {
        int at = (k + n / 2) % n;
        EXPECT_NEAR(re[at], f[k].real(), 1e-12);
        EXPECT_NEAR(im[at], f[k].imag(), 1e-12);
    }
    quenz::fft_1d(quenz::fft_backward, plan, re.data(), im.data());
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(re[i], a[i].real(), 1e-14);
        EXPECT_NEAR(im[i], a[i].imag(), 1e-14);
    }
}

// A small non-square array against the 2-D DFT with both axes centred.
TEST(Fft2d, SmallArrayAgainstNaiveTwoDimensionalDft) {
    int cols = 16, rows = 8;
    auto a = random_seq(std::size_t(cols * rows), 3);
    std::vector<COMPLEX> img(a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        img[i] = {float(a[i].real()), float(a[i].imag())};
    std::vector<COMPLEX> orig = img;
    ASSERT_EQ(quenz::fft_2d(img.data(), cols, rows, quenz::fft_forward), 0);
    double worst = 0;
    for (int ky = 0; ky < rows; ++ky)
        for (int kx = 0; kx < cols; ++kx) {
            cd s = 0;
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < cols; ++x) {
                    cd v(orig[y * cols + x].re, orig[y * cols + x].im);
                    s += v * std::polar(1.0, -two_pi * (double(ky * y) / rows + double(kx * x) / cols));
                }
            const COMPLEX& got = img[((ky + rows / 2) % rows) * cols + (kx + cols / 2) % cols];
            worst = std::max(worst, std::abs(cd(got.re, got.im) - s));
        }
    EXPECT_LT(worst, 1e-5);
    ASSERT_EQ(quenz::fft_2d(img.data(), cols, rows, quenz::fft_backward), 0);
    for (std::size_t i = 0; i < img.size(); ++i) {
        EXPECT_NEAR(img[i].re, orig[i].re, 1e-6);
        EXPECT_NEAR(img[i].im, orig[i].im, 1e-6);
    }
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
    // One row or one column is transformed along the other axis only.
    std::vector<COMPLEX> line(4, COMPLEX{1.0f, 0.0f});
    EXPECT_EQ(quenz::fft_2d(line.data(), 4, 1, quenz::fft_forward), 0);
    EXPECT_EQ(line[2].re, 4.0f);
    EXPECT_EQ(line[0].re, 0.0f);
}

TEST(Fft2d, ConstantAndImpulses) {
    bildcomplex img;
    for (std::size_t i = 0; i < img.npixels(); ++i) img.data()[i] = {0.75f, 0.0f};
    img.FFT_forward();
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            const COMPLEX& c = img.rows[y][x];
            if (y == 256 && x == 256) {
                EXPECT_EQ(c.re, 0.75f * 262144.0f);
                EXPECT_EQ(c.im, 0.0f);
            } else {
                ASSERT_TRUE(c.re == 0.0f && c.im == 0.0f) << y << "," << x;
            }
        }

    bildcomplex one;
    one.rows[0][0] = {1.0f, 0.0f};
    one.FFT_forward();
    for (std::size_t i = 0; i < one.npixels(); ++i)
        ASSERT_TRUE(one.data()[i].re == 1.0f && one.data()[i].im == 0.0f) << i;

    bildcomplex shifted;
    shifted.rows[0][1] = {1.0f, 0.0f};
    shifted.FFT_forward();
    for (int y : {0, 17, 256, 511})
        for (int x = 0; x < 512; ++x) {
            double ang = -two_pi * (x - 256) / 512.0;
            EXPECT_NEAR(shifted.rows[y][x].re, std::cos(ang), 1e-6);
            EXPECT_NEAR(shifted.rows[y][x].im, std::sin(ang), 1e-6);
        }

    bildcomplex centre;
    centre.rows[256][256] = {1.0f, 0.0f};
    centre.FFT_backward();
    for (std::size_t i = 0; i < centre.npixels(); ++i)
        ASSERT_TRUE(centre.data()[i].re == 1.0f / 262144.0f && centre.data()[i].im == 0.0f) << i;
}

TEST(Fft2d, RoundTripAndThreadCountDoesNotMatter) {
    bildcomplex orig;
    random_image(orig, 11);
    bildcomplex one(orig), two(orig), three(orig);
    quenz::fft_2d(one.data(), 512, 512, quenz::fft_forward, 1);
    quenz::fft_2d(two.data(), 512, 512, quenz::fft_forward, 2);
    quenz::fft_2d(three.data(), 512, 512, quenz::fft_forward, 3);
    EXPECT_TRUE(same_bits(one, two));
    EXPECT_TRUE(same_bits(one, three));
    one.FFT_backward();
    double worst = 0;
    for (std::size_t i = 0; i < orig.npixels(); ++i) {
        worst = std::max(worst, double(std::abs(one.data()[i].re - orig.data()[i].re)));
        worst = std::max(worst, double(std::abs(one.data()[i].im - orig.data()[i].im)));
    }
    EXPECT_LT(worst, 2e-6);
}

// The full 512 x 512 transform against the separable DFT in double,
// applied to the same float rounding between the passes.
TEST(Fft2d, RandomImageAgainstSeparableDft) {
    bildcomplex img;
    random_image(img, 5);
    std::vector<cd> a(img.npixels());
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = cd(img.data()[i].re, img.data()[i].im);
    img.FFT_forward();
    std::vector<cd> w(512);
    for (int t = 0; t < 512; ++t) w[t] = std::polar(1.0, -two_pi * t / 512.0);
    auto dft_line = [&](cd* p, std::ptrdiff_t stride) {
        cd in[512], out[512];
        for (int j = 0; j < 512; ++j) in[j] = p[j * stride];
        for (int k = 0; k < 512; ++k) {
            cd s = 0;
            for (int j = 0; j < 512; ++j) s += in[j] * w[(j * k) & 511];
            out[(k + 256) & 511] = s;
        }
        for (int k = 0; k < 512; ++k) p[k * stride] = cd(float(out[k].real()), float(out[k].imag()));
    };
    for (int y = 0; y < 512; ++y) dft_line(&a[std::size_t(y) * 512], 1);
    for (int x = 0; x < 512; ++x) dft_line(&a[x], 512);
    double worst = 0, scale = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        worst = std::max(worst, std::abs(a[i] - cd(img.data()[i].re, img.data()[i].im)));
        scale = std::max(scale, std::abs(a[i]));
    }
    EXPECT_LT(worst / scale, 1e-6);
}

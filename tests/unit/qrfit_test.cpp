// The fit itself and its console output; the file, the accessors and the
// Tcl conventions are tested through Tcl (tests/qrfit.test).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <regex>
#include <vector>

#include "imgclass/fit/qr.h"
#include "imgclass/fit/qr_lanes.h"
#include "imgclass/fit/qrfit.h"

namespace {

// Reference exposures with count(j, y, x) = f(j, y, x).
struct Refs {
    std::vector<bild16_base> img;
    std::vector<const bild16_base*> ptr;
    Refs(int n, std::function<unsigned short(int, int, int)> f) : img(std::size_t(n)) {
        for (int j = 0; j < n; ++j) {
            ptr.push_back(&img[j]);
            for (int y = 0; y < 512; ++y)
                for (int x = 0; x < 512; ++x) img[j].row(y)[x] = f(j, y, x);
        }
    }
};

struct Console {
    std::string out, err;
};
template <class F> Console captured(F f) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f();
    std::string out = testing::internal::GetCapturedStdout();
    return {out, testing::internal::GetCapturedStderr()};
}

// The "." and ":" marks, without the solver's Diagonal-elem lines.
std::string marks(const std::string& err) {
    std::string m = std::regex_replace(err, std::regex("Diagonal-elem\\. [0-9]+ = 0\n"), "");
    std::erase_if(m, [](char ch) { return ch != '.' && ch != ':'; });
    return m;
}

}  // namespace

TEST(QRfit, LinearCalibrationIsTheIdentity) {
    const unsigned short counts[3] = {0, 13107, 65535};  // 0, 0.2, 1 normalised
    Refs r(3, [&](int j, int, int) { return counts[j]; });
    std::vector<float> refw{0.0f, 0.2f, 1.0f};
    Console c = captured([&] {
        QRfit q(r.ptr, refw, 3, 2);
        for (int y = 0; y < 512; y += 73)
            for (int x = 0; x < 512; x += 31) {
                EXPECT_NEAR(q.get_coeff(x, y, 0), 0.0f, 1e-6);
                EXPECT_NEAR(q.get_coeff(x, y, 1), 1.0f, 1e-6);
            }
    });
    EXPECT_EQ(c.err, "");
    // The coefficients of pixel (100, 100), each followed by two blanks.
    std::smatch m;
    ASSERT_TRUE(std::regex_match(c.out, m, std::regex("(\\S+)  (\\S+)  \n"))) << c.out;
    EXPECT_NEAR(std::stod(m[1]), 0.0, 1e-6);
    EXPECT_EQ(m[2], "1");
}

TEST(QRfit, RankDeficientPixelsFallBackToAStraightLine) {
    // Pixel (3, 4) and all of row 200 see one count in every exposure.
    Refs r(5, [](int j, int y, int x) {
        return (unsigned short)((y == 3 && x == 4) || y == 200 ? 1000 + x : j * 10000 + y * 7 + x);
    });
    std::vector<float> refw{0.1f, 0.3f, 0.5f, 0.7f, 0.9f};
    Console c = captured([&] {
        QRfit q(r.ptr, refw, 5, 4);
        const float want[4] = {-0.125f, 1.25f, 0.0f, 0.0f};
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(q.get_coeff(4, 3, k), want[k], 1e-6) << k;
            EXPECT_NEAR(q.get_coeff(300, 200, k), want[k], 1e-6) << k;
        }
        // A neighbour is a real fit of the line 0.1 + 0.2·(count − 7y − x)/10000.
        EXPECT_NEAR(q.apply(3, 5, (20000 + 21 + 5) / 65535.0f), 0.5f, 1e-4);
    });
    EXPECT_EQ(marks(c.err), std::string(513, '.'));

    // Equal first and last reference values: ":" too, and the identity.
    std::vector<float> same{0.5f, 0.1f, 0.5f};
    c = captured([&] {
        QRfit q(r.ptr, same, 3, 3);
        EXPECT_EQ(q.get_coeff(4, 3, 0), 0.0f);
        EXPECT_EQ(q.get_coeff(4, 3, 1), 1.0f);
        EXPECT_EQ(q.get_coeff(4, 3, 2), 0.0f);
    });
    std::string pairs;
    for (int i = 0; i < 513; ++i) pairs += ".:";
    EXPECT_EQ(marks(c.err), pairs);
}

// The parallel fit, eight pixels at a time where it can, prints exactly
// what a serial pass over the pixels would, and each pixel's coefficients
// are bit for bit those of solving it alone.
TEST(QRfit, SameOutputAndCoefficientsAsOnePixelAtATime) {
    std::mt19937 rng(3);
    Refs r(4, [&](int j, int y, int x) {
        if ((x * 7 + y * 13) % 97 == 0) return (unsigned short)(x * 100 + y);  // rank-deficient
        return (unsigned short)((rng() % 20000) + j * 15000);
    });
    std::vector<float> refw{0.0f, 0.25f, 0.6f, 1.0f};
    std::unique_ptr<QRfit> q;
    Console c = captured([&] { q = std::make_unique<QRfit>(r.ptr, refw, 4, 3); });

    std::string want;
    quenz::Matrix A(4, 3);
    double diag[3], b[4], sol[3];
    quenz::LaneFit lanes(4, 3);
    const int W = quenz::LaneFit::lanes;
    std::vector<const unsigned short*> row(4);
    bool together = false;
    int fitted = 0, fitted_together = 0, differ = 0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            if (x % W == 0) {
                for (int j = 0; j < 4; ++j) row[j] = r.img[j].row(y);
                together = lanes.fit(row.data(), x, refw.data(), 1e-10);
            }
            for (int j = 0; j < 4; ++j) {
                double v = r.img[j].row(y)[x] / 65535.0;
                A[j][0] = 1.0;
                A[j][1] = v;
                A[j][2] = v * v;
                b[j] = refw[j];
            }
            if (quenz::Householder_QR(4, 3, A.rows(), diag, b, 1e-10, &want)) {
                want += '.';
                EXPECT_FALSE(together) << y << " " << x;
                continue;
            }
            quenz::Backsubst_R(3, A.rows(), diag, b, sol);
            ++fitted;
            fitted_together += together;
            for (int k = 0; k < 3; ++k) {
                differ += float(sol[k]) != q->get_coeff(x, y, k);
                differ += together && std::bit_cast<std::uint64_t>(sol[k]) !=
                                          std::bit_cast<std::uint64_t>(lanes.coeff(k, x % W));
            }
        }
    EXPECT_GT(std::count(want.begin(), want.end(), '.'), 2000);
    EXPECT_GT(fitted_together, fitted * 3 / 4);
    EXPECT_EQ(differ, 0);
    EXPECT_TRUE(c.err == want);
}

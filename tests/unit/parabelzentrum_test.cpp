// The fit and its console messages; -koeff and the Tcl side are tested
// through Tcl (tests/parabelzentrum.test).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "testutil.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/system/error.h"
#include "imgclass/analysis/parabelzentrum.h"

using testutil::error_of;

namespace {

// The peak 10 − 0.5·(x − 250.25)² − 0.25·(y − 100.5)², exact in float near it.
struct Peak {
    bildfloat img;
    Peak() {
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x)
                img.row(y)[x] = float(10 - 0.5 * (x - 250.25) * (x - 250.25) - 0.25 * (y - 100.5) * (y - 100.5));
    }
};

// The fit's result and what it wrote to standard error.
std::pair<bool, std::string> fit(Parabelzentrum& p) {
    testing::internal::CaptureStderr();
    bool ok = p.fit();
    return {ok, testing::internal::GetCapturedStderr()};
}

void put_box(Parabelzentrum& p, int x0, int x1, int y0, int y1) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) p.put(x, y);
}

}  // namespace

TEST(Parabelzentrum, ExactPeakIsRecovered) {
    Peak f;
    Parabelzentrum p(f.img, 100);
    p.estimate(250, 100);
    put_box(p, 248, 252, 98, 102);
    EXPECT_EQ(fit(p), std::make_pair(true, std::string()));
    EXPECT_NEAR(p.x(), 250.25, 1e-9);
    EXPECT_NEAR(p.y(), 100.5, 1e-9);
    EXPECT_NEAR(p.height(), 10.0, 1e-9);
    EXPECT_LT(std::fabs(p.s_x()) + std::fabs(p.s_y()) + p.s_height(), 1e-6);
}

TEST(Parabelzentrum, FewPointsGiveTheMeanAndVariance) {
    Peak f;
    Parabelzentrum p(f.img, 20);
    EXPECT_EQ(fit(p), std::make_pair(false, std::string("Fit ohne Punkte !\n")));
    EXPECT_TRUE(std::isnan(p.x()));

    const double k[5] = {1, 2, 3, -1, -2};
    p.set_koeff(k);
    p.estimate(10.5, 20);
    for (int y : {20, 21, 24})  // dy = 0, 1, 4
        for (int x : {10, 11, 12}) p.put(x, y);  // dx = -0.5, 0.5, 1.5
    EXPECT_EQ(fit(p), std::make_pair(true, std::string("Sehr wenig Punkte !\n")));
    EXPECT_DOUBLE_EQ(p.x(), 10.5 + 0.5);
    EXPECT_DOUBLE_EQ(p.y(), 20 + 5.0 / 3);
    EXPECT_DOUBLE_EQ(p.s_x(), 2.0 / 3);   // population variances
    EXPECT_DOUBLE_EQ(p.s_y(), 26.0 / 9);
    EXPECT_DOUBLE_EQ(p.height(), 3.125);  // the coefficients are untouched

    p.put(11, 22);  // the tenth point makes it a real fit
    EXPECT_EQ(fit(p).second.find("Sehr wenig"), std::string::npos);
    EXPECT_NE(p.koeff()[4], -2.0);
}

TEST(Parabelzentrum, SingularRowsAndMissedVertex) {
    Peak f;
    for (double y0 : {100.0, 97.0}) {  // dy all 0, or all equal
        Parabelzentrum p(f.img, 20);
        p.estimate(250, y0);
        for (int x = 240; x < 252; ++x) p.put(x, 100);
        auto [ok, err] = fit(p);
        EXPECT_FALSE(ok);
        EXPECT_TRUE(err.ends_with("Matrix singulär ????\n")) << err;
        EXPECT_DOUBLE_EQ(p.x(), 250 - 4.5);  // the mean stands
    }
    // Only the left flank: dx 0..4, vertex at dx = 10.25.
    Parabelzentrum p(f.img, 50);
    p.estimate(240, 100);
    put_box(p, 240, 244, 99, 102);
    EXPECT_EQ(fit(p), std::make_pair(true, std::string("Danebengeschossen !\n")));
    EXPECT_DOUBLE_EQ(p.x(), 242.0);
    EXPECT_DOUBLE_EQ(p.y(), 100.5);
    EXPECT_DOUBLE_EQ(p.s_x(), 2.0);
    EXPECT_NEAR(p.height(), 10.0, 1e-8);  // the rejected paraboloid
}

TEST(Parabelzentrum, BookkeepingRules) {
    Peak f;
    EXPECT_EQ(error_of([&] { Parabelzentrum(f.img, 0); }), "Parabelzentrum: pktmax_ must be at least 1, not 0");
    Parabelzentrum p(f.img, 3);
    p.put(1, 2);
    EXPECT_EQ(error_of([&] { p.estimate(5, 5); }), "Error: Can set estimate only if there are no points");
    EXPECT_EQ(error_of([&] { p.put(512, 3); }), "Parabelzentrum_put: coordinates outside the image (y=3, x=512)");
    p.put(1, 2);  // the same pixel twice counts twice
    p.put(511, 511);
    EXPECT_EQ(error_of([&] { p.put(0, 0); }), "Mist -- zuwenig Platz für die Punkte");
    EXPECT_EQ(p.npkt(), 3);
    p.clear();
    EXPECT_EQ(p.npkt(), 0);
    p.estimate(100, 200);
    p.clear();  // back to the origin
    p.put(4, 6);
    p.put(6, 6);
    fit(p);
    EXPECT_DOUBLE_EQ(p.x(), 5.0);
    EXPECT_DOUBLE_EQ(p.y(), 6.0);
}

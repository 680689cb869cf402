#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "bildfloat.h"
#include "error.h"
#include "parabelzentrum.h"

namespace {

// The peak 10 − 0.5·(x − 250.25)² − 0.25·(y − 100.5)², exact in float near it.
float peak(int x, int y) {
    double dx = x - 250.25, dy = y - 100.5;
    return float(10 - 0.5 * dx * dx - 0.25 * dy * dy);
}

struct Fixture {
    bildfloat img;
    Fixture() {
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x) img.rows[y][x] = peak(x, y);
    }
};

// Runs f with standard error captured; returns what it wrote.
std::string stderr_of(std::function<void()> f) {
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

std::string error_of(std::function<void()> f) {
    try {
        f();
    } catch (const quenz::Error& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

}  // namespace

TEST(Parabelzentrum, ExactPeakIsRecovered) {
    Fixture f;
    Parabelzentrum p(f.img, 100);
    p.estimate(250, 100);
    for (int y = 98; y <= 102; ++y)
        for (int x = 248; x <= 252; ++x) p.put(x, y);
    bool ok = false;
    EXPECT_EQ(stderr_of([&] { ok = p.fit(); }), "");
    EXPECT_TRUE(ok);
    EXPECT_NEAR(p.x(), 250.25, 1e-9);
    EXPECT_NEAR(p.y(), 100.5, 1e-9);
    EXPECT_NEAR(p.height(), 10.0, 1e-9);
    EXPECT_NEAR(p.koeff()[3], -0.5, 1e-12);
    EXPECT_NEAR(p.koeff()[4], -0.25, 1e-12);
    EXPECT_LT(std::fabs(p.s_x()), 1e-6);
    EXPECT_LT(std::fabs(p.s_y()), 1e-6);
    EXPECT_LT(p.s_height(), 1e-6);
}

TEST(Parabelzentrum, TooFewPointsGiveTheMeanAndVariance) {
    Fixture f;
    Parabelzentrum p(f.img, 20);
    bool ok = true;
    EXPECT_EQ(stderr_of([&] { ok = p.fit(); }), "Fit ohne Punkte !\n");
    EXPECT_FALSE(ok);
    EXPECT_TRUE(std::isnan(p.x()));
    EXPECT_TRUE(std::isnan(p.s_y()));

    const double k[5] = {1, 2, 3, -1, -2};
    p.set_koeff(k);
    p.estimate(10.5, 20);
    // Nine points: offsets dx = -0.5, 0.5, 1.5 and dy = 0, 1, 4.
    for (int y : {20, 21, 24})
        for (int x : {10, 11, 12}) p.put(x, y);
    EXPECT_EQ(stderr_of([&] { ok = p.fit(); }), "Sehr wenig Punkte !\n");
    EXPECT_TRUE(ok);
    EXPECT_DOUBLE_EQ(p.x(), 10.5 + 0.5);
    EXPECT_DOUBLE_EQ(p.y(), 20 + 5.0 / 3);
    EXPECT_DOUBLE_EQ(p.s_x(), 2.0 / 3);       // population variance of dx
    EXPECT_DOUBLE_EQ(p.s_y(), 26.0 / 9);      // ... and of dy
    EXPECT_DOUBLE_EQ(p.height(), 3.125);      // the coefficients are untouched
    EXPECT_EQ(p.koeff()[4], -2.0);

    // The tenth point makes it a real fit.
    p.put(11, 22);
    std::string err = stderr_of([&] { ok = p.fit(); });
    EXPECT_EQ(err.find("Sehr wenig"), std::string::npos);
    EXPECT_NE(p.koeff()[4], -2.0);
}

TEST(Parabelzentrum, PointsOnOneRowAreSingular) {
    Fixture f;
    for (double y0 : {100.0, 97.0}) {
        Parabelzentrum p(f.img, 20);
        p.estimate(250, y0);
        for (int x = 240; x < 252; ++x) p.put(x, 100);
        bool ok = true;
        std::string err = stderr_of([&] { ok = p.fit(); });
        EXPECT_FALSE(ok);
        EXPECT_TRUE(err.ends_with("\nMatrix singulär ????\n") || err == "Matrix singulär ????\n") << err;
        EXPECT_DOUBLE_EQ(p.x(), 250 - 4.5);  // the mean stands
    }
}

TEST(Parabelzentrum, VertexOutsideTheSampledRangeIsAMiss) {
    Fixture f;
    Parabelzentrum p(f.img, 50);
    p.estimate(240, 100);
    // Only the left flank of the peak: dx in 0..4, vertex at dx = 10.25.
    for (int y = 99; y <= 102; ++y)
        for (int x = 240; x <= 244; ++x) p.put(x, y);
    bool ok = false;
    EXPECT_EQ(stderr_of([&] { ok = p.fit(); }), "Danebengeschossen !\n");
    EXPECT_TRUE(ok);
    EXPECT_DOUBLE_EQ(p.x(), 242.0);
    EXPECT_DOUBLE_EQ(p.y(), 100.5);
    EXPECT_DOUBLE_EQ(p.s_x(), 2.0);
    // The rejected paraboloid is still the fitted one.
    EXPECT_NEAR(p.height(), 10.0, 1e-8);
}

TEST(Parabelzentrum, BookkeepingRules) {
    Fixture f;
    EXPECT_EQ(error_of([&] { Parabelzentrum(f.img, 0); }), "Parabelzentrum: pktmax_ must be at least 1, not 0");
    Parabelzentrum p(f.img, 3);
    p.put(1, 2);
    EXPECT_EQ(error_of([&] { p.estimate(5, 5); }), "Error: Can set estimate only if there are no points");
    EXPECT_EQ(error_of([&] { p.put(512, 3); }),
              "Parabelzentrum_put: coordinates outside the image (y=3, x=512)");
    EXPECT_EQ(error_of([&] { p.put(3, -1); }),
              "Parabelzentrum_put: coordinates outside the image (y=-1, x=3)");
    p.put(1, 2);  // the same pixel twice counts twice
    p.put(511, 511);
    EXPECT_EQ(p.npkt(), 3);
    EXPECT_EQ(error_of([&] { p.put(0, 0); }), "Mist -- zuwenig Platz für die Punkte");
    EXPECT_EQ(p.npkt(), 3);

    p.clear();
    EXPECT_EQ(p.npkt(), 0);
    p.estimate(100, 200);
    p.clear();  // the estimate goes back to the origin
    p.put(4, 6);
    p.put(6, 6);
    stderr_of([&] { p.fit(); });
    EXPECT_DOUBLE_EQ(p.x(), 5.0);
    EXPECT_DOUBLE_EQ(p.y(), 6.0);
}

TEST(Parabelzentrum, KoeffIsCopiedNeverShared) {
    Fixture f;
    Parabelzentrum a(f.img, 5), b(f.img, 5);
    const double k[5] = {4, 2, 0, -1, -1};
    a.set_koeff(k);
    b.set_koeff(a.koeff());
    EXPECT_NE(a.koeff(), b.koeff());
    a.koeff()[0] = 7;
    EXPECT_EQ(b.koeff()[0], 4.0);
    EXPECT_DOUBLE_EQ(b.height(), 4 + 1);
    b.set_koeff(b.koeff());
    EXPECT_EQ(b.koeff()[1], 2.0);
    EXPECT_EQ(error_of([&] { b.set_koeff(nullptr); }),
              "Parabelzentrum: -koeff needs five coefficients, not NULL");
}

// The curve library below the Tcl commands: the parallel table against the
// serial inversion, the models against numeric derivatives, and the
// inversion's corner cases and step cap.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "imgclass/curves/exp4kurve.h"
#include "imgclass/curves/expkurve.h"

namespace {

// A count of the forward evaluations, on top of any curve.
template <class K> struct Counting : K {
    using K::K;
    mutable long calls = 0;
    double eichfun(double x) const override {
        ++calls;
        return K::eichfun(x);
    }
};

// A step from 1000 down to 0 at x = 1: no x meets the tolerance for 500.
struct Step : eichkurve {
    double eichfun(double x) const override { return x < 1 ? 1000 : 0; }
    double deichfun_dx(double) const override { return 0; }
    double initguess(bild16::data_t) const override { return 0; }
};

struct Line : eichkurve {
    double k;
    explicit Line(double k_) : k(k_) {}
    double eichfun(double x) const override { return k * x; }
    double deichfun_dx(double) const override { return k; }
    double initguess(bild16::data_t) const override { return 0; }
};

// Every entry equals the serial inversion bit for bit and, inside the
// curve's range, meets the 0.1-count tolerance; outside it is clamped.
void expect_table(const eichkurve& k, double lo, double hi) {
    const double top = k.eichfun(lo), bottom = k.eichfun(hi);  // falling curves
    auto t = k.values();
    int inside = 0;
    for (int i = 0; i < eichkurve::table_size; ++i) {
        double serial = k.invert(i, lo, hi);
        ASSERT_EQ(std::memcmp(&t[i], &serial, sizeof serial), 0) << "count " << i;
        if (i > top) {
            ASSERT_EQ(t[i], lo) << "count " << i;
        } else if (i < bottom) {
            ASSERT_EQ(t[i], hi) << "count " << i;
        } else {
            ASSERT_LE(std::fabs(k.eichfun(t[i]) - i), 0.1) << "count " << i;
            ++inside;
        }
    }
    EXPECT_GT(inside, 1000);
}

double numeric_slope(const eichkurve& k, double x) {
    const double h = 1e-5;
    return (k.eichfun(x + h) - k.eichfun(x - h)) / (2 * h);
}

}  // namespace

TEST(Curves, TablesAreTheSerialInversion) {
    expect_table(expkurve(60000, 0.5, 0.05, 2.0, 0.3, 0.3), 0, 40);
    expect_table(exp4kurve(60000, 0.3, 0.3, 0.2, 2.0, 0.5, 0.1, 0.02), 0, 35);
}

TEST(Curves, ModelsDerivativesAndEstimates) {
    expkurve e(60000, 0.5, 0.05, 2.0, 0.3, 0.3);
    exp4kurve q(1000, 0.1, 0.2, 0.5, 3.0, 1.0, 0.25, 0.05);
    EXPECT_DOUBLE_EQ(e.eichfun(0), 60000);  // the weights sum to 1
    EXPECT_DOUBLE_EQ(q.eichfun(0), 1000);
    EXPECT_NEAR(e.eichfun(2), 60000 * (0.3 * std::exp(-1.0) + 0.3 * std::exp(-0.1) + 0.4 * std::exp(-4.0)),
                1e-9);
    for (double x : {0.0, 0.4, 3.0, 20.0}) {
        for (const eichkurve* k : {static_cast<const eichkurve*>(&e), static_cast<const eichkurve*>(&q)}) {
            double n = numeric_slope(*k, x);
            EXPECT_NEAR(k->deichfun_dx(x), n, 1e-5 * std::fabs(n) + 1e-6) << "x " << x;
        }
    }
    EXPECT_NEAR(e.initguess(30000), 2 * std::log(2.0), 1e-12);  // first term: ln 2 / 0.5
    EXPECT_NEAR(q.initguess(250), 4 * std::log(2.0), 1e-12);    // third term: ln 2 / 0.25
    EXPECT_EQ(q.initguess(500), 0.0);
}

TEST(Inversion, RisingFlatAndNotANumber) {
    Line rising(100);
    EXPECT_EQ(rising.invert(-5, 0, 40), 0.0);    // below the curve: lower end
    EXPECT_EQ(rising.invert(4001, 0, 40), 40.0);  // above it: upper end
    EXPECT_LE(std::fabs(rising.invert(1234, 0, 40) * 100 - 1234), 0.1);
    Line flat(0);
    EXPECT_TRUE(std::isnan(flat.invert(0, 0, 40)));  // 0/0 at the flat curve's own value
    EXPECT_EQ(flat.invert(1, 0, 40), 0.0);
    expkurve nan(std::nan(""), 0.5, 0.5, 0.5, 0.3, 0.3);
    EXPECT_TRUE(std::isnan(nan.apply(100)));
}

TEST(Inversion, StepCapEndsAHopelessSearch) {
    Counting<Step> s;
    double x = s.invert(500, 0, 40);
    EXPECT_EQ(s.calls, 2 + eichkurve::max_steps);
    EXPECT_NEAR(x, 1.0, 1e-9);  // the bracket has closed in on the step

    // A realistic curve stays far below the cap for every count.
    Counting<expkurve> k(60000, 0.5, 0.05, 2.0, 0.3, 0.3);
    long worst = 0;
    for (int i = 0; i < eichkurve::table_size; ++i) {
        k.calls = 0;
        k.invert(i, 0, 40);
        worst = std::max(worst, k.calls);
    }
    EXPECT_LT(worst, eichkurve::max_steps / 10);
}

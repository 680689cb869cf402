#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

#include "bildfloat.h"
#include "eichtabelle.h"
#include "exp4kurve.h"
#include "expkurve.h"
#include "tablekurve.h"

namespace {

namespace fs = std::filesystem;

// Scratch files of this run, removed when the tests end.
struct ScratchDir {
    fs::path dir = fs::temp_directory_path() / ("quenz-curves-" + std::to_string(::getpid()));
    ~ScratchDir() { fs::remove_all(dir); }
} scratch_dir;

std::string scratch(const std::string& name) {
    fs::create_directories(scratch_dir.dir);
    return (scratch_dir.dir / name).string();
}

std::vector<unsigned char> slurp(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void spit(const std::string& name, const std::vector<unsigned char>& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string message_of(auto&& f) {
    try {
        f();
    } catch (const quenz::Error& e) {
        return e.what();
    }
    return "(no error)";
}

// Every entry inside the curve's range meets the 0.1-count tolerance on
// the forward curve; counts outside it sit at the bracket ends.
void expect_inverse(const eichkurve& k, double lo, double hi) {
    const double top = k.eichfun(lo), bottom = k.eichfun(hi);  // falling curves
    int checked = 0;
    for (int i = 0; i < eichkurve::table_size; ++i) {
        double x = k.apply(i);
        if (i > top) {
            ASSERT_EQ(x, lo) << "count " << i;
        } else if (i < bottom) {
            ASSERT_EQ(x, hi) << "count " << i;
        } else {
            ASSERT_LE(std::fabs(k.eichfun(x) - i), 0.1) << "count " << i << " x " << x;
            ASSERT_TRUE(x >= lo && x <= hi) << "count " << i;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
}

// A step from 1000 down to 0 at x = 1: no x meets the tolerance for 500.
struct StepCurve : eichkurve {
    mutable long calls = 0;
    double eichfun(double x) const override {
        ++calls;
        return x < 1 ? 1000 : 0;
    }
    double deichfun_dx(double) const override { return 0; }
    double initguess(bild16::data_t) const override { return 0; }
};

// The benchmark curve, counting its forward evaluations.
struct CountingExp : expkurve {
    using expkurve::expkurve;
    mutable long calls = 0;
    double eichfun(double x) const override {
        ++calls;
        return expkurve::eichfun(x);
    }
};

}  // namespace

TEST(Expkurve, SingleRateCurve) {
    expkurve k(1000, 0.5, 0.5, 0.5, 0.3, 0.3);
    EXPECT_EQ(k.apply(0), 40.0);
    EXPECT_EQ(k.apply(1000), 0.0);
    EXPECT_EQ(k.apply(1001), 0.0);
    EXPECT_EQ(k.apply(65535), 0.0);
    double x = k.apply(368);
    EXPECT_LE(std::fabs(1000 * std::exp(-0.5 * x) - 368), 0.1);
    EXPECT_NEAR(x, 2.0, 0.002);
    expect_inverse(k, 0, 40);
}

TEST(Expkurve, TableIsTheSerialInversionBitForBit) {
    expkurve k(60000, 0.5, 0.05, 2.0, 0.3, 0.3);
    auto t = k.values();
    for (int i = 0; i < eichkurve::table_size; ++i) {
        double serial = k.invert(i, 0, 40);
        ASSERT_EQ(std::memcmp(&t[i], &serial, sizeof serial), 0) << "count " << i;
    }
    expect_inverse(k, 0, 40);
}

TEST(Expkurve, ModelDerivativeAndEstimate) {
    expkurve k(60000, 0.5, 0.05, 2.0, 0.3, 0.3);
    EXPECT_DOUBLE_EQ(k.eichfun(0), 60000);  // the weights sum to 1
    EXPECT_NEAR(k.eichfun(2), 60000 * (0.3 * std::exp(-1.0) + 0.3 * std::exp(-0.1) + 0.4 * std::exp(-4.0)), 1e-9);
    for (double x : {0.0, 0.7, 3.0, 12.0}) {
        double h = 1e-5, numeric = (k.eichfun(x + h) - k.eichfun(x - h)) / (2 * h);
        EXPECT_NEAR(k.deichfun_dx(x), numeric, 1e-5 * std::fabs(numeric) + 1e-6) << "x " << x;
    }
    EXPECT_NEAR(k.initguess(30000), 2 * std::log(2.0), 1e-12);  // first term: ln 2 / 0.5
    EXPECT_EQ(k.initguess(0), std::numeric_limits<double>::infinity());
}

TEST(Exp4kurve, EstimateFollowsTheThirdTerm) {
    exp4kurve k(1000, 0.1, 0.2, 0.5, 3.0, 1.0, 0.25, 0.05);
    EXPECT_DOUBLE_EQ(k.eichfun(0), 1000);
    EXPECT_NEAR(k.initguess(250), 4 * std::log(2.0), 1e-12);  // ln(500/250) / 0.25
    EXPECT_EQ(k.initguess(500), 0.0);
    for (double x : {0.0, 0.4, 5.0, 20.0}) {
        double h = 1e-5, numeric = (k.eichfun(x + h) - k.eichfun(x - h)) / (2 * h);
        EXPECT_NEAR(k.deichfun_dx(x), numeric, 1e-5 * std::fabs(numeric) + 1e-6) << "x " << x;
    }
    EXPECT_EQ(k.apply(0), 35.0);  // its own bracket
    expect_inverse(k, 0, 35);
}

TEST(Exp4kurve, ZeroThirdWeightBreaksOnlyTheEstimate) {
    exp4kurve k(50000, 0.4, 0.3, 0.0, 0.5, 0.1, 1.0, 0.02);
    for (int v : {0, 1, 300, 50000, 65535}) EXPECT_FALSE(std::isfinite(k.initguess(v))) << v;
    expect_inverse(k, 0, 35);
}

TEST(Inversion, RisingCurvesAndOddInputs) {
    struct Rising : eichkurve {
        double eichfun(double x) const override { return 100 * x; }
        double deichfun_dx(double) const override { return 100; }
        double initguess(bild16::data_t) const override { return 0; }
    } r;
    EXPECT_EQ(r.invert(-5, 0, 40), 0.0);    // below the curve: lower end
    EXPECT_EQ(r.invert(4001, 0, 40), 40.0);  // above it: upper end
    EXPECT_LE(std::fabs(r.invert(1234, 0, 40) * 100 - 1234), 0.1);

    struct Flat : eichkurve {
        double eichfun(double) const override { return 7; }
        double deichfun_dx(double) const override { return 0; }
        double initguess(bild16::data_t) const override { return 0; }
    } f;
    EXPECT_TRUE(std::isnan(f.invert(7, 0, 40)));  // 0/0: the flat curve's own value
    EXPECT_EQ(f.invert(8, 0, 40), 0.0);

    expkurve nan(std::nan(""), 0.5, 0.5, 0.5, 0.3, 0.3);
    EXPECT_TRUE(std::isnan(nan.apply(100)));
}

TEST(Inversion, StepCapEndsAHopelessSearch) {
    StepCurve s;
    double x = s.invert(500, 0, 40);
    EXPECT_EQ(s.calls, 2 + eichkurve::max_steps);
    EXPECT_NEAR(x, 1.0, 1e-9);  // the bracket has closed in on the step

    // A realistic curve stays far below the cap for every count.
    CountingExp k(60000, 0.5, 0.05, 2.0, 0.3, 0.3);
    long worst = 0;
    for (int i = 0; i < eichkurve::table_size; ++i) {
        k.calls = 0;
        k.invert(i, 0, 40);
        worst = std::max(worst, k.calls);
    }
    EXPECT_LT(worst, eichkurve::max_steps / 10);
}

TEST(ApplyEichkurve, ClampingTruncationAndMaskedPixels) {
    expkurve k(60000, 0.5, 0.05, 2.0, 0.3, 0.3);
    auto t = k.values();
    bildfloat b;
    std::fill(b.data(), b.data() + b.npixels(), 0.25f);  // every pixel is converted
    const float one = float(1.0 / 65535.0), two = float(2.0 / 65535.0);
    const float nan = quenz::quiet_nan;
    const float in[] = {1.5f, -0.2f, 0.5f, one, two, 0.0f, 1.0f, -0.0f, nan,
                        std::numeric_limits<float>::infinity()};
    const int want[] = {65535, 0, 32767, 0, 1, 0, 65535, 0, -1, 65535};
    for (int i = 0; i < 10; ++i) b.set(7, 500 + i, in[i]);
    b.set(511, 511, 1.0f);
    bildfloat& r = b.apply_eichkurve(k);
    EXPECT_EQ(&r, &b);
    for (int i = 0; i < 10; ++i) {
        if (want[i] < 0)
            EXPECT_TRUE(std::isnan(b.get(7, 500 + i)));
        else
            EXPECT_EQ(b.get(7, 500 + i), float(t[want[i]])) << "pixel " << in[i];
    }
    EXPECT_EQ(b.get(0, 0), float(t[16383]));  // trunc(0.25 * 65535)
    EXPECT_EQ(b.get(511, 511), float(t[65535]));
}

TEST(TableFile, HeaderLengthAndLittleEndianFloats) {
    expkurve k(60000, 0.5, 0.05, 2.0, 0.3, 0.3);
    std::string name = scratch("exp.tab");
    k.table_write(name.c_str());
    auto bytes = slurp(name);
    ASSERT_EQ(bytes.size(), 262156u);
    const unsigned char head[12] = {0x45, 0x49, 0x43, 0x48, 0x54, 0x41, 0x42, 0x45, 0x4C, 0x4C, 0x45, 0x00};
    EXPECT_EQ(std::memcmp(bytes.data(), head, 12), 0);
    for (int i : {0, 1, 1000, 30000, 65535}) {
        const unsigned char* p = bytes.data() + 12 + 4 * i;
        std::uint32_t bits = p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
        EXPECT_EQ(std::bit_cast<float>(bits), float(k.apply(i))) << "count " << i;
    }
}

TEST(TableFile, RoundTripAndByteIdenticalRewrite) {
    exp4kurve k(1000, 0.1, 0.2, 0.5, 3.0, 1.0, 0.25, 0.05);
    std::string a = scratch("a.tab"), b = scratch("b.tab");
    k.table_write(a.c_str());
    tablekurve t(a.c_str());
    for (int i = 0; i < eichkurve::table_size; ++i)
        ASSERT_EQ(t.apply(i), double(float(k.apply(i)))) << "count " << i;
    t.table_write(b.c_str());
    EXPECT_EQ(slurp(a), slurp(b));
    EXPECT_EQ(message_of([&] { t.eichfun(1); }), "Tablekurve pseudo-function called");
    EXPECT_EQ(message_of([&] { t.deichfun_dx(1); }), "Tablekurve pseudo-function called");
    EXPECT_EQ(message_of([&] { t.initguess(1); }), "Tablekurve pseudo-function called");
    EXPECT_EQ(t.apply(65535), double(float(k.apply(65535))));  // still usable
}

TEST(TableFile, BadFilesAreRefusedNamingTheFile) {
    expkurve k(1000, 0.5, 0.5, 0.5, 0.3, 0.3);
    std::string good = scratch("good.tab");
    k.table_write(good.c_str());
    auto bytes = slurp(good);

    std::string missing = scratch("missing.tab");
    fs::remove(missing);
    EXPECT_EQ(message_of([&] { tablekurve t(missing.c_str()); }), missing + " not found.");

    std::string wrong = scratch("wrong.tab");
    auto w = bytes;
    w[10] = 'F';  // "EICHTABELLF"
    spit(wrong, w);
    EXPECT_EQ(message_of([&] { tablekurve t(wrong.c_str()); }), wrong + " is not a tablekurve file.");
    w = bytes;
    w[11] = ' ';  // the zero byte counts too
    spit(wrong, w);
    EXPECT_EQ(message_of([&] { tablekurve t(wrong.c_str()); }), wrong + " is not a tablekurve file.");

    spit(wrong, {bytes.begin(), bytes.begin() + 11});
    EXPECT_EQ(message_of([&] { tablekurve t(wrong.c_str()); }), wrong + " is not a tablekurve file.");

    std::string shortf = scratch("short.tab");
    spit(shortf, {bytes.begin(), bytes.end() - 1});
    EXPECT_EQ(message_of([&] { tablekurve t(shortf.c_str()); }),
              shortf + ": tablekurve file too short (262155 of 262156 bytes)");
    spit(shortf, {bytes.begin(), bytes.begin() + 12});
    EXPECT_EQ(message_of([&] { tablekurve t(shortf.c_str()); }),
              shortf + ": tablekurve file too short (12 of 262156 bytes)");

    std::string nowhere = scratch("no/such/dir/x.tab");
    EXPECT_EQ(message_of([&] { k.table_write(nowhere.c_str()); }), "Cannot write to " + nowhere);
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(message_of([&] { k.table_write("/dev/full"); }), "Cannot write to /dev/full");
    }
}

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "testutil.h"
#include "imgclass/core/pixeldata.h"
#include "imgclass/analysis/stats.h"

using testutil::error_of;

namespace {

// The values of a rectangle, row by row.
template <class Img> std::vector<double> values(const Img& img, const quenz::rect& r) {
    std::vector<double> v;
    for (int y = r.y1; y <= r.y2; ++y)
        for (int x = r.x1; x <= r.x2; ++x) v.push_back(double(img.get(y, x)));
    return v;
}

// Median of a sorted copy (the definition, not the selection).
double sorted_median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

}  // namespace

TEST(Rect, CornersInAnyOrderAndTheHouseMessage) {
    auto r = quenz::checked_rect("imgstats", 10, 20, 3, 5);
    EXPECT_EQ(r.x1, 3);
    EXPECT_EQ(r.y1, 5);
    EXPECT_EQ(r.x2, 10);
    EXPECT_EQ(r.y2, 20);
    EXPECT_EQ(r.area(), 8 * 16);
    EXPECT_EQ(error_of([] { quenz::checked_rect("histogram", 0, -1, 511, 512); }),
              "Index error: histogram x1=0 x2=511 y1=-1 y2=512");
}

TEST(Stats, CountsExactAgainstLongDoubleAndSortedMedian) {
    bild16_base b;
    std::mt19937 rng(7);
    for (std::size_t i = 0; i < b.npixels(); ++i) b.data()[i] = static_cast<unsigned short>(rng() % 65536);
    // whole image (even n), an odd rectangle, one pixel, one row
    for (auto r : {quenz::rect::whole(), quenz::checked_rect("t", 3, 4, 103, 90),
                   quenz::checked_rect("t", 511, 511, 511, 511), quenz::checked_rect("t", 0, 7, 511, 7)}) {
        auto v = values(b, r);
        long double sum = 0, sq = 0;
        for (double x : v) sum += x;
        const long double mean = sum / v.size();
        for (double x : v) sq += (x - mean) * (x - mean);
        auto s = quenz::imgstats(b, r);
        EXPECT_EQ(s.n, long(v.size()));
        EXPECT_EQ(s.nan, 0);
        EXPECT_EQ(s.min, *std::min_element(v.begin(), v.end()));
        EXPECT_EQ(s.max, *std::max_element(v.begin(), v.end()));
        EXPECT_EQ(s.sum, double(sum));
        EXPECT_EQ(s.mean, double(sum) / double(v.size()));
        EXPECT_NEAR(s.std, double(std::sqrt(sq / v.size())), 1e-13 * s.std + 1e-300);
        EXPECT_EQ(s.median, sorted_median(v));
    }
}

TEST(Stats, FloatsLeaveOutNaNAndReportPositiveNaNWhenNothingIsLeft) {
    bildfloat_base f;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-3.0f, 5.0f);
    for (std::size_t i = 0; i < f.npixels(); ++i) f.data()[i] = i % 7 == 3 ? -quenz::quiet_nan : u(rng);
    auto r = quenz::checked_rect("t", 0, 0, 511, 300);
    std::vector<double> v;
    long nans = 0;
    for (double x : values(f, r)) (x == x ? v.push_back(x) : void(++nans));
    auto s = quenz::imgstats(f, r);
    long double sum = 0;
    for (double x : v) sum += x;
    EXPECT_EQ(s.n, long(v.size()));
    EXPECT_EQ(s.nan, nans);
    EXPECT_NEAR(s.sum, double(sum), 1e-13 * std::fabs(double(sum)));
    EXPECT_EQ(s.median, sorted_median(v));
    EXPECT_EQ(double(s.min), *std::min_element(v.begin(), v.end()));
    EXPECT_EQ(double(s.max), *std::max_element(v.begin(), v.end()));

    // Zeros of both signs as the extremes: the first of them in pixel order
    // is reported, as a plain scan finds it.
    for (float first : {-0.0f, 0.0f})
        for (float others : {1.0f, -1.0f}) {
            bildfloat_base z;
            std::fill(z.data(), z.data() + z.npixels(), others);
            z.set(3, 40, first);
            z.set(4, 33, -first);  // later, but in an earlier lane of sixteen
            auto zs = quenz::imgstats(z);
            EXPECT_EQ(std::signbit(others > 0 ? zs.min : zs.max), std::signbit(first));
        }

    f.set(0, 0, 1.0f);
    std::fill(f.data() + 1, f.data() + f.npixels(), -quenz::quiet_nan);
    auto none = quenz::imgstats(f, quenz::checked_rect("t", 1, 0, 511, 511));
    EXPECT_EQ(none.n, 0);
    EXPECT_EQ(none.nan, 511 * 512);
    EXPECT_EQ(none.sum, 0.0);
    for (double x : {double(none.min), double(none.max), none.mean, none.std, none.median}) {
        EXPECT_TRUE(std::isnan(x));
        EXPECT_FALSE(std::signbit(x));
    }
    // An infinity makes the deviations NaN: positive as well.
    f = bildfloat_base();
    f.set(5, 5, std::numeric_limits<float>::infinity());
    auto inf = quenz::imgstats(f);
    EXPECT_TRUE(std::isinf(inf.sum));
    EXPECT_TRUE(std::isnan(inf.std));
    EXPECT_FALSE(std::signbit(inf.std));
}

TEST(Stats, FloatMedianOfSmallSetsAcrossSignsAndRanges) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<std::vector<float>> sets = {
        {-3.5f, 7.25f}, {inf, -inf, 1.0f, 2.0f}, {-1.0f, -2.0f}, {5.0f, 5.0f, 5.0f},
        {1e-30f, -1e30f, 0.0f, 3.0f, 2.0f, 2.0f}, {0.5f, 0.50000006f}, {-0.0f, 0.0f, 1.0f},
        {7.0f}, {1.0f, 1.0f, 2.0f, 3.0f}};
    for (const auto& set : sets) {
        bildfloat_base f;
        std::fill(f.data(), f.data() + f.npixels(), quenz::quiet_nan);
        for (std::size_t i = 0; i < set.size(); ++i) f.set(3, int(i), set[i]);
        std::vector<double> v(set.begin(), set.end());
        auto s = quenz::imgstats(f, quenz::checked_rect("t", 0, 3, int(set.size()) - 1, 3));
        EXPECT_EQ(s.n, long(set.size()));
        EXPECT_EQ(s.median, sorted_median(v)) << set.size() << " values from " << set[0];
    }
    // 4096 values: the lower middle one alone in its range of values, the
    // upper one far above it; and all of them in one narrow range.
    for (bool narrow : {false, true}) {
        bildfloat_base f;
        std::vector<double> v;
        for (int i = 0; i < 4096; ++i) {
            float x = narrow ? 3.0f + float(i % 97) * 1e-6f : i < 2047 ? -1000.0f - float(i) : i == 2047 ? 0.5f : 1000.0f + float(i);
            f.set(i / 512, i % 512, x);
            v.push_back(x);
        }
        auto s = quenz::imgstats(f, quenz::checked_rect("t", 0, 0, 511, 7));
        EXPECT_EQ(s.median, sorted_median(v)) << narrow;
    }
}

// The float sums' definition: leaves of at most 128 terms in eight
// interleaved accumulators, added as a balanced tree, one term at a time.
double pairwise_definition(const std::vector<double>& t, std::size_t begin, std::size_t n) {
    if (n <= 128) {
        double acc[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8)
            for (std::size_t k = 0; k < 8; ++k) acc[k] += t[begin + i + k];
        double rest = 0;
        for (; i < n; ++i) rest += t[begin + i];
        return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7])) + rest;
    }
    std::size_t half = n / 2;
    half -= half % 8;
    return pairwise_definition(t, begin, half) + pairwise_definition(t, begin + half, n - half);
}

TEST(Stats, FloatSumAndDeviationBitForBitThePairwiseDefinition) {
    bildfloat_base f;
    std::mt19937 rng(23);
    std::normal_distribution<float> g(3.0f, 1e4f);
    for (std::size_t i = 0; i < f.npixels(); ++i) f.data()[i] = i % 11 == 5 ? quenz::quiet_nan : g(rng);
    // Counts with every remainder of eight and leaves of unequal sizes.
    for (auto r : {quenz::rect::whole(), quenz::checked_rect("t", 0, 0, 511, 200), quenz::checked_rect("t", 1, 2, 300, 290),
                   quenz::checked_rect("t", 5, 5, 11, 9), quenz::checked_rect("t", 0, 3, 6, 3),
                   quenz::checked_rect("t", 17, 40, 400, 41)}) {
        std::vector<double> v;
        for (double x : values(f, r))
            if (x == x) v.push_back(x);
        const double sum = pairwise_definition(v, 0, v.size());
        std::vector<double> sq;
        for (double x : v) sq.push_back((x - sum / double(v.size())) * (x - sum / double(v.size())));
        auto s = quenz::imgstats(f, r);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(s.sum), std::bit_cast<std::uint64_t>(sum)) << v.size();
        EXPECT_EQ(s.std, std::sqrt(pairwise_definition(sq, 0, sq.size()) / double(v.size()))) << v.size();
    }
}

TEST(Histogram, EveryCountLandsBetweenItsEdges) {
    bild16_base b;
    for (std::size_t i = 0; i < b.npixels(); ++i) b.data()[i] = static_cast<unsigned short>(i % 65536);
    const struct { int n; double low, high; } rules[] = {
        {1000, 0, 65535}, {3, 0, 3}, {7, 0.1, 65535.5}, {65536, 0, 65536}, {10, 100, 200}, {1, 5, 6}};
    for (auto& t : rules) {
        quenz::bin_rule rule("t", t.n, t.low, t.high);
        std::vector<std::uint32_t> want(std::size_t(t.n), 0);
        for (int v = 0; v < 65536; ++v) {
            int i = rule.bin(v);
            if (v < t.low || v > t.high) {
                EXPECT_EQ(i, -1) << v;
                continue;
            }
            ASSERT_GE(i, 0);
            ASSERT_LT(i, t.n);
            EXPECT_LE(rule.edge(i), v) << v;
            if (v == t.high)
                EXPECT_EQ(i, t.n - 1);
            else
                EXPECT_LT(v, rule.edge(i + 1)) << v;
            want[std::size_t(i)] += 4;  // the ramp repeats four times
        }
        // the whole image goes through the count table, a small rectangle pixel by pixel
        EXPECT_EQ(quenz::histogram(b, rule), want) << t.n;
        auto small = quenz::checked_rect("t", 0, 0, 99, 0);
        auto h = quenz::histogram(b, rule, small);
        std::vector<std::uint32_t> w(std::size_t(t.n), 0);
        for (int v = 0; v < 100; ++v)
            if (rule.bin(v) >= 0) ++w[std::size_t(rule.bin(v))];
        EXPECT_EQ(h, w);
    }
    EXPECT_EQ(error_of([] { quenz::bin_rule("histogram", 65537, 0, 1); }),
              "histogram: nbins must lie in 1..65536 (nbins=65537)");
    EXPECT_EQ(error_of([] { quenz::bin_rule("histogram", 10, 2, 1.5); }),
              "histogram: low must be below high, both finite (low=2, high=1.5)");
    EXPECT_NE(error_of([] { quenz::bin_rule("histogram", 10, 0, INFINITY); }), testutil::nothing_thrown);
}

// Ranges whose width underflows or overflows a double: no estimate to
// trust, every value still lands between its edges and none is lost.
TEST(Histogram, RangesAtTheEndsOfTheDoubles) {
    const double tiny = 5e-324, huge = 1.7e308;
    const struct { int n; double low, high; std::vector<double> values; } cases[] = {
        {1, 0, tiny, {0, tiny}},
        {3, 0, tiny, {0, tiny}},
        {65536, 0, 1e-323, {0, tiny, 1e-323}},
        {7, -1e-310, 1e-310, {-1e-310, -tiny, 0, 3e-311, 1e-310}},
        {2, -huge, huge, {-huge, -1e308, 0, 1e308, huge}},
        {65536, -huge, huge, {-huge, -1.0, 0, 1.0, 1e300, huge}},
    };
    for (auto& t : cases) {
        quenz::bin_rule rule("t", t.n, t.low, t.high);
        for (double v : t.values) {
            int i = rule.bin(v);
            ASSERT_GE(i, 0) << t.n << " " << v;
            ASSERT_LT(i, t.n);
            EXPECT_LE(rule.edge(i), v) << t.n << " " << v;
            if (v == t.high)
                EXPECT_EQ(i, t.n - 1);
            else
                EXPECT_LT(v, rule.edge(i + 1)) << t.n << " " << v;
        }
        for (int i = 0; i < t.n; ++i) ASSERT_LE(rule.edge(i), rule.edge(i + 1)) << t.n << " " << i;
        EXPECT_EQ(rule.bin(std::nextafter(t.low, -INFINITY)), -1);
        EXPECT_EQ(rule.bin(std::nextafter(t.high, INFINITY)), -1);
    }
    bildfloat_base zero;
    std::fill(zero.data(), zero.data() + zero.npixels(), 0.0f);
    EXPECT_EQ(quenz::histogram(zero, quenz::bin_rule("t", 1, 0, tiny)),
              (std::vector<std::uint32_t>{262144}));
    bild16_base counts;
    std::fill(counts.data(), counts.data() + counts.npixels(), 7);
    EXPECT_EQ(quenz::histogram(counts, quenz::bin_rule("t", 2, -1e300, 1e300)),
              (std::vector<std::uint32_t>{0, 262144}));
    EXPECT_EQ(quenz::histogram(counts, quenz::bin_rule("t", 1, 1e300, 1e301)),
              (std::vector<std::uint32_t>{0}));
}

TEST(Histogram, FloatsSkipNaNAndValuesOutside) {
    bildfloat_base f;
    f.set(0, 0, quenz::quiet_nan);
    f.set(0, 1, 1.0f);   // == high: last bin
    f.set(0, 2, 1.5f);   // outside
    f.set(0, 3, -0.5f);  // outside
    f.set(0, 4, 0.5f);   // an edge: the upper bin
    auto h = quenz::histogram(f, quenz::bin_rule("t", 4, 0.0, 1.0));
    EXPECT_EQ(h, (std::vector<std::uint32_t>{262139, 0, 1, 1}));
}

TEST(Profile, BilinearBetweenPixelsExactOnThem) {
    bildfloat_base f;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) f.set(y, x, float(x + 1000 * y));
    f.set(0, 511, quenz::quiet_nan);
    // along row 3: one sample per pixel, exactly the pixels
    auto row = quenz::profile(f, 10, 3, 20, 3);
    ASSERT_EQ(row.size(), 11u);
    for (int k = 0; k <= 10; ++k) EXPECT_EQ(row[std::size_t(k)], 3000.0 + 10 + k);
    // a plane is reproduced exactly between pixels too
    auto diag = quenz::profile(f, 1.5, 2.25, 3.5, 6.25, 5);
    for (int k = 0; k < 5; ++k) EXPECT_DOUBLE_EQ(diag[std::size_t(k)], (1.5 + 0.5 * k) + 1000 * (2.25 + k));
    // the last column and row: a neighbour of weight 0 is never read
    EXPECT_EQ(quenz::profile(f, 511, 511, 511, 1, 2), (std::vector<double>{511511.0, 1511.0}));
    EXPECT_EQ(quenz::profile(f, 510, 0, 510, 0).size(), 2u);
    EXPECT_EQ(quenz::profile(f, 510, 0, 510, 0)[0], 510.0);
    EXPECT_TRUE(std::isnan(quenz::profile(f, 510.5, 0, 510.5, 0)[0]));
    EXPECT_EQ(error_of([&] { quenz::profile(f, 0, 0, 511.5, 1); }),
              "profile: end point outside the image (x1=0 y1=0 x2=511.5 y2=1)");
    EXPECT_EQ(error_of([&] { quenz::profile(f, 0, 0, 5, 1, 1); }), "profile: n must lie in 2..1048576 (n=1)");
}

TEST(PixelData, LittleEndianBytesAndRoundTrips) {
    bild16_base b;
    b.set(0, 0, 0x1234);
    b.set(511, 511, 0xfedc);
    std::vector<unsigned char> raw(quenz::image_bytes<unsigned short>);
    quenz::to_bytes(b, raw.data());
    EXPECT_EQ(raw[0], 0x34);
    EXPECT_EQ(raw[1], 0x12);
    EXPECT_EQ(raw[raw.size() - 2], 0xdc);
    EXPECT_EQ(raw.back(), 0xfe);

    bildcomplex_base c;
    c.set(0, 1, COMPLEX{1.0f, -2.0f});
    std::vector<unsigned char> craw(quenz::image_bytes<COMPLEX>);
    quenz::to_bytes(c, craw.data());
    const unsigned char one[] = {0, 0, 0x80, 0x3f}, minus2[] = {0, 0, 0, 0xc0};
    EXPECT_EQ(std::memcmp(&craw[8], one, 4), 0);
    EXPECT_EQ(std::memcmp(&craw[12], minus2, 4), 0);

    // every float bit pattern kind survives: NaN payloads, -0, denormals
    bildfloat_base f, g;
    std::mt19937 rng(3);
    for (std::size_t i = 0; i < f.npixels(); ++i) f.data()[i] = std::bit_cast<float>(std::uint32_t(rng()));
    f.data()[0] = std::bit_cast<float>(0x7fa00001u);
    f.data()[1] = std::bit_cast<float>(0xffc12345u);
    std::vector<unsigned char> fraw(quenz::image_bytes<float>);
    quenz::to_bytes(f, fraw.data());
    quenz::from_bytes(g, fraw.data(), fraw.size(), "t");
    EXPECT_EQ(std::memcmp(f.data(), g.data(), fraw.size()), 0);

    // a wrong length changes nothing
    EXPECT_EQ(error_of([&] { quenz::from_bytes(g, fraw.data(), fraw.size() - 1, "bildfloat_setdata"); }),
              "bildfloat_setdata: expected 1048576 bytes, given 1048575");
    EXPECT_EQ(std::memcmp(f.data(), g.data(), fraw.size()), 0);
}

TEST(PixelData, RowsAndColumns) {
    bild16_base b;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) b.set(y, x, static_cast<unsigned short>(x + 100 * y));
    auto row = quenz::get_row(b, "t", 7);
    auto col = quenz::get_col(b, "t", 511);
    EXPECT_EQ(row[3], 703);
    EXPECT_EQ(col[2], 711);
    std::vector<unsigned short> v(512, 9);
    quenz::set_col(b, "t", 4, std::span<const unsigned short>(v));
    EXPECT_EQ(b.get(300, 4), 9);
    EXPECT_EQ(b.get(300, 5), 30005);
    EXPECT_EQ(error_of([&] { quenz::set_row(b, "bild16_setrow", 1, std::span<const unsigned short>(v.data(), 511)); }),
              "bild16_setrow: 512 values expected, 511 given");
    EXPECT_EQ(b.get(1, 0), 100);
    EXPECT_EQ(error_of([&] { quenz::get_col(b, "bild16_getcol", 512); }),
              "bild16_getcol: column outside the image (x=512)");
    EXPECT_EQ(error_of([&] { quenz::get_row(b, "bild16_getrow", -1); }),
              "bild16_getrow: row outside the image (y=-1)");
}

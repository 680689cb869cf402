// The vectorised pixel passes against the pixel rules, one pixel at a
// time: the division through single precision and by multiply-and-shift,
// the products and quotients of the conversions, and an image that is its
// own operand.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/core/divide16.h"
#include "imgclass/core/pixelloop.h"

namespace {

using u16 = unsigned short;
constexpr std::size_t npix = bild16::npixels();

// The fromfloat rule, written out as the plain sequence of tests.
u16 fromfloat_rule(float v, float max) {
    if (v > max) return 65535;
    if (v < 0) return 0;
    double q = double(v) * 65535.0 / double(max);
    return std::isnan(q) ? 0 : u16(std::int64_t(q));
}

float bits(std::uint32_t u) { return std::bit_cast<float>(u); }

// Random floats of every kind: normal, tiny, huge, negative, NaN, infinite.
std::vector<float> float_zoo(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<float> v(n);
    std::uniform_real_distribution<float> unit(-0.2f, 1.2f);
    for (std::size_t i = 0; i < n; ++i) v[i] = (i % 3 == 0) ? bits(rng()) : unit(rng);
    const float specials[] = {0.0f, -0.0f, 1.0f, 2.0f, 0.5f, 1e-45f, -1e-45f, 3.4e38f, -3.4e38f,
                              INFINITY, -INFINITY, NAN, 0.99999994f, 1.0000001f, 65535.0f};
    for (std::size_t i = 0; i < std::size(specials); ++i) v[i] = specials[i];
    return v;
}

TEST(PixelOps, SixteenBitDivisionIsFloorDivisionAtEveryDivisor) {
    // For every divisor q the dividends where a rounded-up quotient would
    // show first: just below a multiple of q, and the largest count.
    bild16 a, b;
    std::vector<u16> p(npix), q(npix);
    for (std::size_t i = 0; i < npix; ++i) {
        u16 d = u16(1 + i % 65535);
        unsigned top = 65535 / d * d;
        unsigned pick[4] = {top ? top - 1 : 0, 65535u, top, unsigned(i * 2654435761u % 65536)};
        p[i] = u16(pick[i / 65535 % 4]);
        q[i] = d;
    }
    std::copy(p.begin(), p.end(), a.data());
    std::copy(q.begin(), q.end(), b.data());
    a /= b;
    for (std::size_t i = 0; i < npix; ++i) ASSERT_EQ(a.data()[i], p[i] / q[i]) << p[i] << "/" << q[i];
}

TEST(PixelOps, SixteenBitDivisionByValuesAndZeros) {
    bild16 a;
    for (unsigned q : {1u, 2u, 3u, 7u, 255u, 256u, 257u, 32767u, 32768u, 65534u, 65535u}) {
        for (std::size_t i = 0; i < npix; ++i) a.data()[i] = u16(i);
        a /= u16(q);
        for (std::size_t i = 0; i < npix; ++i) ASSERT_EQ(a.data()[i], u16(i) / q) << i << "/" << q;
    }
    // A zero in the divisor image keeps that pixel; the others divide.
    bild16 b;
    for (std::size_t i = 0; i < npix; ++i) {
        a.data()[i] = u16(40000 + i % 7);
        b.data()[i] = u16(i % 5);
    }
    a /= b;
    for (std::size_t i = 0; i < npix; ++i) {
        u16 p = u16(40000 + i % 7), q = u16(i % 5);
        ASSERT_EQ(a.data()[i], q ? p / q : p) << i;
    }
}

// Every divisor against every count, through the image operator and so
// through the vector width this machine picks. The oracle is the definition
// of the floor, r q <= p < (r + 1) q, in 32 bits: no division in it.
TEST(PixelOps, SixteenBitDivisionByEveryValueOfEveryCount) {
    // Every count once in the first quarter of the image, which alone is
    // refilled and checked (the rest takes part in the pass unchecked).
    constexpr std::size_t ncounts = 65536;
    std::vector<u16> counts(ncounts);
    for (std::size_t i = 0; i < ncounts; ++i) counts[i] = u16(i);
    bild16 a;
    for (unsigned q = 1; q <= 65535; ++q) {
        std::copy(counts.begin(), counts.end(), a.data());
        a /= u16(q);
        const u16* r = a.data();
        unsigned wrong = 0;
        for (std::size_t i = 0; i < ncounts; ++i) {
            unsigned low = unsigned(r[i]) * q, p = counts[i];
            wrong += (low > p) | (p - low >= q);
        }
        if (wrong) {
            std::size_t i = 0;
            while (r[i] == counts[i] / q) ++i;
            FAIL() << counts[i] << "/" << q << " gave " << r[i] << " (" << wrong << " wrong)";
        }
    }
}

// The pixel-by-pixel tail of the multiply-and-shift division (and the
// vector steps before it) at every length up to three vectors and every
// offset, and its divisor set-up, for every divisor at the counts where a
// quotient steps up: k q - 1 and k q for the largest k, and 65535.
TEST(PixelOps, MultiplyAndShiftDivisionAtAnyLengthAndOffset) {
    std::vector<u16> p0(100);
    for (std::size_t i = 0; i < p0.size(); ++i) p0[i] = u16(65535 - 661 * i);
    for (unsigned q : {1u, 2u, 3u, 7u, 641u, 32767u, 32768u, 32769u, 65535u})
        for (std::size_t off = 0; off < 3; ++off)
            for (std::size_t n = 0; off + n <= 99; ++n) {
                std::vector<u16> p = p0;
                quenz::divide_counts(p.data() + off, quenz::Divisor16(u16(q)), n);
                for (std::size_t i = 0; i < p.size(); ++i) {
                    bool in = i >= off && i < off + n;
                    ASSERT_EQ(p[i], in ? p0[i] / q : p0[i]) << i << " q=" << q << " n=" << n;
                }
            }
    for (unsigned q = 1; q <= 65535; ++q) {
        unsigned top = 65535 / q * q;
        u16 p[3] = {u16(top - 1), u16(top), 65535};
        const u16 want[3] = {u16((top - 1) / q), u16(top / q), u16(65535 / q)};
        quenz::divide_counts(p, quenz::Divisor16(u16(q)), 3);
        for (int k = 0; k < 3; ++k) ASSERT_EQ(p[k], want[k]) << "q=" << q << " k=" << k;
    }
}

TEST(PixelOps, SixteenBitRulesAgainstRandomPairs) {
    std::mt19937 rng(11);
    std::vector<u16> p(npix), q(npix);
    for (std::size_t i = 0; i < npix; ++i) {
        p[i] = u16(rng());
        q[i] = u16(i % 97 == 0 ? 0 : rng());
    }
    bild16 a, b;
    std::copy(q.begin(), q.end(), b.data());
    auto start = [&] { std::copy(p.begin(), p.end(), a.data()); };
    auto check = [&](const char* what, auto rule) {
        for (std::size_t i = 0; i < npix; ++i)
            ASSERT_EQ(a.data()[i], rule(p[i], q[i])) << what << " at " << i;
    };
    start(), a += b, check("+=", [](u16 x, u16 y) { return u16(x + y); });
    start(), a -= b, check("-=", [](u16 x, u16 y) { return u16(x - y); });
    start(), a *= b, check("*=", [](u16 x, u16 y) { return u16(unsigned(x) * y); });
    start(), a /= b, check("/=", [](u16 x, u16 y) { return y ? u16(x / y) : x; });
    start(), a *= 40000, check("*= value", [](u16 x, u16) { return u16(x * 40000u); });
    start(), a -= 3, check("-= value", [](u16 x, u16) { return u16(x - 3); });
}

TEST(PixelOps, AnImageIsItsOwnOperand) {
    bild16 a;
    for (std::size_t i = 0; i < npix; ++i) a.data()[i] = u16(i * 7);
    bild16 d(a), m(a), s(a);
    d /= d, m *= m, s -= s, a += a;
    for (std::size_t i = 0; i < npix; ++i) {
        u16 p = u16(i * 7);
        ASSERT_EQ(a.data()[i], u16(2 * p));
        ASSERT_EQ(d.data()[i], p ? 1 : 0);
        ASSERT_EQ(m.data()[i], u16(unsigned(p) * p));
        ASSERT_EQ(s.data()[i], 0);
    }
    bildfloat f;
    std::vector<float> v = float_zoo(npix, 3);
    std::copy(v.begin(), v.end(), f.data());
    f /= f;
    for (std::size_t i = 0; i < npix; ++i) {
        float want = v[i] != 0.0f ? v[i] / v[i] : v[i];
        ASSERT_EQ(std::bit_cast<std::uint32_t>(f.data()[i]), std::bit_cast<std::uint32_t>(want)) << i;
    }
}

TEST(PixelOps, FloatRulesBitForBit) {
    std::vector<float> p = float_zoo(npix, 5), q = float_zoo(npix, 6);
    for (std::size_t i = 0; i < npix; i += 13) q[i] = (i & 1) ? -0.0f : 0.0f;  // zero divisors
    bildfloat a, b;
    std::copy(q.begin(), q.end(), b.data());
    auto start = [&] { std::copy(p.begin(), p.end(), a.data()); };
    auto check = [&](const char* what, auto rule) {
        for (std::size_t i = 0; i < npix; ++i) {
            float want = rule(p[i], q[i]);
            ASSERT_EQ(std::bit_cast<std::uint32_t>(a.data()[i]), std::bit_cast<std::uint32_t>(want))
                << what << " at " << i << ": " << p[i] << ", " << q[i];
        }
    };
    start(), a += b, check("+=", [](float x, float y) { return x + y; });
    start(), a -= b, check("-=", [](float x, float y) { return x - y; });
    start(), a *= b, check("*=", [](float x, float y) { return x * y; });
    start(), a /= b, check("/=", [](float x, float y) { return y != 0.0f ? x / y : x; });
    start(), a /= 3.0f, check("/= value", [](float x, float) { return x / 3.0f; });
    start(), a /= NAN, check("/= NaN", [](float x, float) { return x / NAN; });
    start(), a /= -0.0f, check("/= -0", [](float x, float) { return x; });
}

TEST(PixelOps, NormalisingEveryCount) {
    bild16 b;
    for (std::size_t i = 0; i < npix; ++i) b.data()[i] = u16(i);
    bildfloat f(b);
    for (std::size_t i = 0; i < 65536; ++i)
        ASSERT_EQ(f.data()[i], float(double(i) / 65535.0)) << "count " << i;
    EXPECT_EQ(f.data()[65535], 1.0f);
}

TEST(PixelOps, FromfloatFollowsTheRuleForEveryKindOfMax) {
    std::vector<float> v = float_zoo(npix, 9);
    bildfloat f;
    bild16 b;
    const float maxes[] = {1.0f, 2.0f, 0.5f, 0x1p-140f, 0x1p100f, 3.0f, 255.0f, 65535.0f, 3.7f,
                           0.1f, 1e-3f, 0.0f, -0.0f, -1.0f, INFINITY, NAN, 1e-45f};
    for (float mx : maxes) {
        // The last quarter: every count scaled to max and back (the common
        // use), or for a whole max (which divides 65535) the whole numbers
        // up to it, whose quotients are exact integers. There any rounding
        // other than the rule's shows in the truncation.
        bool whole = mx >= 1.0f && mx < 65536.0f && mx == std::floor(mx);
        for (std::size_t c = 0; c < 65536; ++c)
            v[npix - 65536 + c] = whole ? float(c % (std::size_t(mx) + 1))
                                        : float(double(c) * (std::isfinite(mx) ? double(mx) : 1.0) / 65535.0);
        std::copy(v.begin(), v.end(), f.data());
        b.fromfloat(f, mx);
        for (std::size_t i = 0; i < npix; ++i)
            ASSERT_EQ(b.data()[i], fromfloat_rule(v[i], mx)) << "v=" << v[i] << " max=" << mx;
    }
}

// The shared loops at every length up to three vectors and at every offset
// into the buffer: the sixteen-lane division and the pixel-by-pixel tail
// give the rule's result, and division by 0 leaves the pixels. The rules
// here are neither image type's, so only the loops' own part is tested.
struct SmallInts {
    static constexpr auto add = [](int p, int q) { return p + q; };
    static constexpr auto sub = [](int p, int q) { return p - q; };
    static constexpr auto mul = [](int p, int q) { return p * q; };
    static constexpr auto dvd = [](int p, int q) { return q ? p / q : p; };
    using lanes = quenz::i32x16;
    static void quotient(lanes& r, const lanes& a, const lanes& d) { r = a / d; }
};

TEST(PixelOps, SharedLoopsAtAnyLengthAndOffset) {
    using quenz::PixelOp;
    const std::pair<PixelOp, int (*)(int, int)> ops[] = {
        {PixelOp::add, [](int p, int q) { return p + q; }},
        {PixelOp::sub, [](int p, int q) { return p - q; }},
        {PixelOp::mul, [](int p, int q) { return p * q; }},
        {PixelOp::div, [](int p, int q) { return q ? p / q : p; }}};
    std::vector<int> p0(64), q(64);
    for (int i = 0; i < 64; ++i) p0[i] = 1000 - 37 * i, q[i] = i % 5 - 2;  // a zero every fifth
    for (auto [op, rule] : ops)
        for (std::size_t off = 0; off < 3; ++off)
            for (std::size_t n = 0; off + n <= 50; ++n) {
                std::vector<int> p = p0, self = p0, v = p0, zero = p0;
                quenz::combine_pixels<SmallInts>(op, p.data() + off, q.data() + off, n);
                quenz::combine_pixels<SmallInts>(op, self.data() + off, self.data() + off, n);
                quenz::combine_value_pixels<SmallInts>(op, v.data() + off, -3, n);
                quenz::combine_value_pixels<SmallInts>(op, zero.data() + off, 0, n);
                for (std::size_t i = 0; i < 64; ++i) {
                    bool in = i >= off && i < off + n;
                    ASSERT_EQ(p[i], in ? rule(p0[i], q[i]) : p0[i]) << i << " n=" << n;
                    ASSERT_EQ(self[i], in ? rule(p0[i], p0[i]) : p0[i]) << i << " n=" << n;
                    ASSERT_EQ(v[i], in ? rule(p0[i], -3) : p0[i]) << i << " n=" << n;
                    ASSERT_EQ(zero[i], in ? rule(p0[i], 0) : p0[i]) << i << " n=" << n;
                }
            }
}

}  // namespace

// The repair scans the map sixteen counts at a time: the same pixels as
// the plain rule, on a map with bad pixels in clusters, at chunk edges and
// at the threshold itself.
TEST(PixelOps, BadPixelRepairFollowsThePlainRule) {
    std::mt19937 rng(7);
    bild16 map;
    bildfloat img, want;
    const unsigned short t = 1000;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            unsigned r = rng() % 100;
            map.row(y)[x] = (unsigned short)(r < 3 ? t + 1 + rng() % 5 : r < 5 ? t : rng() % t);
            img.row(y)[x] = want.row(y)[x] = float(rng() % 10000) / 7.0f;
        }
    for (int y = 0; y < 512; ++y) map.row(y)[15] = map.row(y)[16] = map.row(y)[511] = t + 1;
    for (int y = 1; y < 511; ++y)
        for (int x = 1; x < 511; ++x) {
            if (map.row(y)[x] <= t) continue;
            float sum = 0.0f;
            int count = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if ((dy || dx) && map.row(y + dy)[x + dx] < t) {
                        sum += want.row(y + dy)[x + dx];
                        ++count;
                    }
            want.row(y)[x] = count > 0 ? sum / float(count) : 0.0f;
        }
    img.badpix_correct(map, t);
    int differ = 0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
            differ += std::bit_cast<std::uint32_t>(img.row(y)[x]) != std::bit_cast<std::uint32_t>(want.row(y)[x]);
    EXPECT_EQ(differ, 0);
}

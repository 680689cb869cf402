#include "imgclass/analysis/stats.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <tuple>
#include <utility>
#include <cmath>
#include <memory>

#include "imgclass/core/pixelloop.h"
#include "imgclass/analysis/value_counts.h"

namespace quenz {
namespace {

// Pairwise summation of term(i) for i in [0, n): blocks of 128 terms in
// eight interleaved double accumulators, blocks added as a balanced tree.
// The error grows with log n instead of n, as numpy's float64 sum.
template <class Term> double pairwise(std::size_t begin, std::size_t n, const Term& term) {
    if (n <= 128) {
        double acc[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8)
            for (int k = 0; k < 8; ++k) acc[k] += term(begin + i + std::size_t(k));
        double rest = 0;
        for (; i < n; ++i) rest += term(begin + i);
        return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7])) +
               rest;
    }
    std::size_t half = n / 2;
    half -= half % 8;
    return pairwise(begin, half, term) + pairwise(begin + half, n - half, term);
}

// Appends the numbers of src[0..w) to dst, NaN left out; returns how many.
// Sixteen at a time, copied whole unless one of them is NaN.
QUENZ_VECTOR_CLONES std::size_t copy_numbers(float* dst, const float* src, std::size_t w) {
    std::size_t m = 0, i = 0;
    for (; i + 16 <= w; i += 16) {
        f32x16 x;
        load16(x, src + i);
        if (!any_lane(x != x)) {
            store16(dst + m, x);
            m += 16;
            continue;
        }
        for (int l = 0; l < 16; ++l) {
            dst[m] = x[l];
            m += x[l] == x[l];
        }
    }
    for (; i < w; ++i) {
        dst[m] = src[i];
        m += src[i] == src[i];
    }
    return m;
}

QUENZ_VECTOR_CLONES bool has_nan(const float* p, std::size_t n) {
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        f32x16 x;
        load16(x, p + i);
        if (any_lane(x != x)) return true;
    }
    for (; i < n; ++i)
        if (p[i] != p[i]) return true;
    return false;
}

// The smallest and largest of v[0..m) (m > 0, no NaN) as the loop
// `mn = v[i] < mn ? v[i] : mn` from v[0] finds them, in sixteen lanes:
// only a zero can tie with a different value (-0 and +0), and then the
// loop keeps the first zero, whose sign is looked up.
QUENZ_VECTOR_CLONES std::pair<float, float> min_max(const float* v, std::size_t m) {
    float mn = v[0], mx = v[0];
    std::size_t i = 0;
    if (m >= 16) {
        f32x16 lo, hi;
        load16(lo, v);
        hi = lo;
        for (i = 16; i + 16 <= m; i += 16) {
            f32x16 x;
            load16(x, v + i);
            lo = x < lo ? x : lo;
            hi = x > hi ? x : hi;
        }
        for (int l = 0; l < 16; ++l) {
            mn = lo[l] < mn ? lo[l] : mn;
            mx = hi[l] > mx ? hi[l] : mx;
        }
    }
    for (; i < m; ++i) {
        mn = v[i] < mn ? v[i] : mn;
        mx = v[i] > mx ? v[i] : mx;
    }
    if (mn == 0.0f || mx == 0.0f) {
        const float first_zero = *std::find(v, v + m, 0.0f);
        if (mn == 0.0f) mn = first_zero;
        if (mx == 0.0f) mx = first_zero;
    }
    return {mn, mx};
}

// Floats in the order of their values as unsigned integers (-0 just below
// +0; no NaN here).
inline std::uint32_t order_key(float v) {
    const std::uint32_t u = std::bit_cast<std::uint32_t>(v);
    return (u & 0x80000000u) ? ~u : (u | 0x80000000u);
}

inline float from_key(std::uint32_t key) {
    return std::bit_cast<float>((key & 0x80000000u) ? (key & 0x7fffffffu) : ~key);
}

// The values at positions k and k+1 (k+1 only when want_next) of v[0..m)
// in sorted order. A count of the upper halves of the keys finds the upper
// half of position k's key. When few values share it, a selection among
// copies of them finishes the work; when many do (a narrow range of
// values, where that selection would cost a sort), a count of the lower
// halves of their keys does.
std::pair<float, float> select_middle(const float* v, std::size_t m, std::size_t k, bool want_next) {
    // (sixteen spare slots for the second pass)
    std::unique_ptr<std::uint32_t[]> count(new std::uint32_t[65536 + 16]());
    // Runs of one range are counted in a register: in a smooth image most
    // neighbours share one, and incrementing the same counter again and
    // again would wait for each increment before.
    std::uint32_t run_of = order_key(v[0]) >> 16, run = 0;
    for (std::size_t i = 0; i < m; ++i) {
        const std::uint32_t high = order_key(v[i]) >> 16;
        if (high != run_of) {
            count[run_of] += run;
            run_of = high;
            run = 0;
        }
        ++run;
    }
    count[run_of] += run;
    std::size_t below = 0;
    std::uint32_t bin = 0;
    while (below + count[bin] <= k) below += count[bin++];
    const std::size_t in_bin = count[bin];

    // Position k+1, when it lies above the bin: the smallest value there
    // (one more pass, in the rare case).
    auto smallest_above = [&] {
        float least = 0.0f;
        bool first = true;
        for (std::size_t i = 0; i < m; ++i)
            if ((order_key(v[i]) >> 16) > bin && (first || v[i] < least)) {
                least = v[i];
                first = false;
            }
        return least;
    };
    if (in_bin <= m / 8) {
        const float next_above = want_next && k + 1 == below + in_bin ? smallest_above() : 0.0f;
        std::unique_ptr<float[]> sel(new float[in_bin]);
        float* w = sel.get();
        std::size_t j = 0;
        for (std::size_t i = 0; i < m; ++i)
            if ((order_key(v[i]) >> 16) == bin) w[j++] = v[i];
        float* at = w + (k - below);
        std::nth_element(w, at, w + in_bin);
        if (!want_next) return {*at, 0.0f};
        return {*at, at + 1 < w + in_bin ? *std::min_element(at + 1, w + in_bin) : next_above};
    }
    std::fill(count.get(), count.get() + 65536, 0u);
    // (Without a branch: the keys of other ranges count into the spare
    // slots in turn, so that no slot waits for its previous increment.)
    for (std::size_t i = 0; i < m; ++i) {
        const std::uint32_t key = order_key(v[i]);
        ++count[(key >> 16) == bin ? key & 0xffffu : 65536u + (i & 15u)];
    }
    std::uint32_t low = 0;
    while (below + count[low] <= k) below += count[low++];
    const float value = from_key(bin << 16 | low);
    if (!want_next) return {value, 0.0f};
    if (k + 1 < below + count[low]) return {value, value};
    std::uint32_t next = low + 1;
    while (next < 65536 && count[next] == 0) ++next;
    return {value, next < 65536 ? from_key(bin << 16 | next) : smallest_above()};
}

}  // namespace

image_stats<unsigned short> imgstats(const bild16_base& b, const rect& r) {
    value_counts counts(b, r);
    const std::uint32_t* c = counts.data();
    image_stats<unsigned short> s;
    s.n = r.area();
    // Sums over the 65536 values instead of the pixels: exact in integers.
    std::uint64_t sum = 0, sumsq = 0;
    for (std::uint32_t v = 0; v < 65536; ++v) {
        sum += std::uint64_t(c[v]) * v;
        sumsq += std::uint64_t(c[v]) * v * v;
    }
    int lo = 0, hi = 65535;
    while (c[lo] == 0) ++lo;
    while (c[hi] == 0) --hi;
    s.min = static_cast<unsigned short>(lo);
    s.max = static_cast<unsigned short>(hi);
    s.sum = double(sum);  // below 2^53: exact
    s.mean = double(sum) / double(s.n);
    // n^2 * variance = n * sum(v^2) - sum(v)^2, exact in 128 bits.
    const __int128 m2 = __int128(s.n) * __int128(sumsq) - __int128(sum) * __int128(sum);
    s.std = std::sqrt(double(m2) / (double(s.n) * double(s.n)));
    // The values at positions (n-1)/2 and n/2 of the sorted pixels.
    const long k_lo = (s.n - 1) / 2, k_hi = s.n / 2;
    long below = 0;
    int v = lo, v_lo = -1;
    for (;; ++v) {
        below += c[v];
        if (v_lo < 0 && below > k_lo) v_lo = v;
        if (below > k_hi) break;
    }
    s.median = (double(v_lo) + double(v)) / 2.0;
    return s;
}

image_stats<float> imgstats(const bildfloat_base& f, const rect& r) {
    image_stats<float> s;
    // The values that are numbers, as one block: the pixels themselves
    // when the rectangle spans whole rows and holds no NaN, else a copy.
    const std::size_t area = std::size_t(r.area());
    const float* v = f.row(r.y1);
    std::size_t m = area;
    std::unique_ptr<float[]> vals;
    const bool whole_rows = r.x1 == 0 && r.x2 == f.SIZEX - 1 && f.row(r.y2) == v + (area - f.SIZEX);
    if (!whole_rows || has_nan(v, area)) {
        vals.reset(new float[area]);
        m = 0;
        for (int y = r.y1; y <= r.y2; ++y)
            m += copy_numbers(vals.get() + m, f.row(y) + r.x1, std::size_t(r.x2 - r.x1 + 1));
        v = vals.get();
    }
    s.n = long(m);
    s.nan = r.area() - s.n;
    if (m == 0) {
        s.min = s.max = float(no_value);
        s.sum = 0.0;
        return s;
    }
    std::tie(s.min, s.max) = min_max(v, m);
    s.sum = pairwise(0, m, [v](std::size_t i) { return double(v[i]); });
    const double mean = s.sum / double(m);
    const double m2 = pairwise(0, m, [v, mean](std::size_t i) {
        const double d = double(v[i]) - mean;
        return d * d;
    });
    s.mean = positive_nan(mean);
    s.std = positive_nan(std::sqrt(m2 / double(m)));
    s.sum = positive_nan(s.sum);
    // The middle value, or the mean of the two middle values.
    const bool even = m % 2 == 0;
    const auto [lo, hi] = select_middle(v, m, even ? m / 2 - 1 : m / 2, even);
    s.median = positive_nan(even ? (double(lo) + double(hi)) / 2.0 : double(lo));
    return s;
}

}  // namespace quenz

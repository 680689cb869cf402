#include "imgclass/analysis/stats.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>
#include <cmath>
#include <memory>
#include <vector>

#include "imgclass/core/pixelloop.h"
#include "imgclass/analysis/value_counts.h"

namespace quenz {
namespace {

// Pairwise summation of v[i] (or of (v[i] - mean)^2) for i in [0, n):
// leaves of at most 128 terms, each summed in eight interleaved double
// accumulators, leaves added as a balanced tree. The error grows with
// log n instead of n, as numpy's float64 sum.
//
// The tree depends on n alone: the sizes of its leaves, left to right.
void leaf_sizes(std::size_t n, std::vector<std::uint32_t>& sizes) {
    if (n <= 128) {
        sizes.push_back(std::uint32_t(n));
        return;
    }
    std::size_t half = n / 2;
    half -= half % 8;
    leaf_sizes(half, sizes);
    leaf_sizes(n - half, sizes);
}

// The leaves added up the tree, in the order of the recursion.
double add_leaves(std::size_t n, const double*& leaf) {
    if (n <= 128) return *leaf++;
    std::size_t half = n / 2;
    half -= half % 8;
    const double left = add_leaves(half, leaf);
    return left + add_leaves(n - half, leaf);
}

typedef float f32x4 __attribute__((vector_size(16)));
typedef double f64x4 __attribute__((vector_size(32)));

// Each leaf's sum: the eight accumulators as two vectors of four (lane k
// takes the terms k, k + 8, ...), then ((a0 + a1) + (a2 + a3)) + ((a4 +
// a5) + (a6 + a7)), then the terms after the last eight, summed apart.
// Four leaves of one size at a time, so that the additions of one wait
// for each other less.
template <bool squares> [[gnu::always_inline]] inline void term8(f64x4& a, f64x4& b, const float* p, double mean) {
    f32x4 x, y;
    __builtin_memcpy(&x, p, sizeof x);
    __builtin_memcpy(&y, p + 4, sizeof y);
    f64x4 dx = __builtin_convertvector(x, f64x4), dy = __builtin_convertvector(y, f64x4);
    if constexpr (squares) {
        dx -= mean;
        dy -= mean;
        dx *= dx;
        dy *= dy;
    }
    a += dx;
    b += dy;
}
template <bool squares>
[[gnu::always_inline]] inline double leaf_total(const f64x4& a, const f64x4& b, const float* p, std::size_t i,
                                                std::size_t n, double mean) {
    double rest = 0;
    for (; i < n; ++i) {
        double d = double(p[i]);
        if constexpr (squares) {
            d -= mean;
            d *= d;
        }
        rest += d;
    }
    return ((a[0] + a[1]) + (a[2] + a[3])) + ((b[0] + b[1]) + (b[2] + b[3])) + rest;
}
template <bool squares>
[[gnu::always_inline]] inline void sum_leaves(const float* v, const std::uint32_t* sizes,
                                             std::size_t leaves, double mean, double* out) {
    for (std::size_t j = 0; j < leaves;) {
        const std::size_t n = sizes[j];
        if (j + 4 <= leaves && sizes[j + 1] == n && sizes[j + 2] == n && sizes[j + 3] == n) {
            f64x4 a0{}, b0{}, a1{}, b1{}, a2{}, b2{}, a3{}, b3{};
            std::size_t i = 0;
            for (; i + 8 <= n; i += 8) {
                term8<squares>(a0, b0, v + i, mean);
                term8<squares>(a1, b1, v + n + i, mean);
                term8<squares>(a2, b2, v + 2 * n + i, mean);
                term8<squares>(a3, b3, v + 3 * n + i, mean);
            }
            out[j] = leaf_total<squares>(a0, b0, v, i, n, mean);
            out[j + 1] = leaf_total<squares>(a1, b1, v + n, i, n, mean);
            out[j + 2] = leaf_total<squares>(a2, b2, v + 2 * n, i, n, mean);
            out[j + 3] = leaf_total<squares>(a3, b3, v + 3 * n, i, n, mean);
            v += 4 * n;
            j += 4;
        } else {
            f64x4 a{}, b{};
            std::size_t i = 0;
            for (; i + 8 <= n; i += 8) term8<squares>(a, b, v + i, mean);
            out[j] = leaf_total<squares>(a, b, v, i, n, mean);
            v += n;
            j += 1;
        }
    }
}
QUENZ_VECTOR_CLONES void leaf_sums(const float* v, const std::uint32_t* sizes, std::size_t leaves,
                                   double* out) {
    sum_leaves<false>(v, sizes, leaves, 0.0, out);
}
QUENZ_VECTOR_CLONES void leaf_squares(const float* v, const std::uint32_t* sizes, std::size_t leaves,
                                      double mean, double* out) {
    sum_leaves<true>(v, sizes, leaves, mean, out);
}

// Eight lanes of 32 bits: one AVX2 register. (GCC takes the sixteen-lane
// vectors of pixelloop.h apart lane by lane in the AVX2 clone.)
typedef std::uint32_t u32x8 __attribute__((vector_size(32)));
typedef std::int32_t i32x8 __attribute__((vector_size(32)));

// Which of eight float bit patterns are NaN: magnitude bits above those
// of infinity. (By reference, as load16: see pixelloop.h.)
[[gnu::always_inline]] inline void nan_lanes(u32x8& nan, const u32x8& u) {
    nan = (u32x8)((u & 0x7fffffffu) > 0x7f800000u);
}

// Appends the numbers of src[0..w) to dst, NaN left out; returns how many.
// Eight at a time, copied whole unless one of them is NaN.
QUENZ_VECTOR_CLONES std::size_t copy_numbers(float* dst, const float* src, std::size_t w) {
    std::size_t m = 0, i = 0;
    for (; i + 8 <= w; i += 8) {
        u32x8 u;
        __builtin_memcpy(&u, src + i, sizeof u);
        u32x8 nan;
        nan_lanes(nan, u);
        if (!any_lane(nan)) {
            __builtin_memcpy(dst + m, &u, sizeof u);
            m += 8;
            continue;
        }
        for (int l = 0; l < 8; ++l) {
            dst[m] = src[i + std::size_t(l)];
            m += dst[m] == dst[m];
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
    for (; i + 64 <= n; i += 64) {
        u32x8 any{};
        for (std::size_t j = 0; j < 64; j += 8) {
            u32x8 u;
            __builtin_memcpy(&u, p + i + j, sizeof u);
            u32x8 nan;
            nan_lanes(nan, u);
            any |= nan;
        }
        if (any_lane(any)) return true;
    }
    for (; i < n; ++i)
        if (p[i] != p[i]) return true;
    return false;
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

// order_key of eight floats at p, without a branch.
[[gnu::always_inline]] inline void order_keys(u32x8& key, const float* p) {
    u32x8 u;
    __builtin_memcpy(&u, p, sizeof u);
    key = u ^ ((u32x8)((i32x8)u >> 31) | 0x80000000u);
}

// The lanes of a comparison's result as the bits of a number, lane 0 lowest.
[[gnu::always_inline]] inline unsigned lane_bits(const u32x8& mask) {
    const u32x8 b = (mask >> 31) << u32x8{0, 1, 2, 3, 4, 5, 6, 7};
    unsigned r = 0;
    for (int l = 0; l < 8; ++l) r |= b[l];
    return r;
}

// One pass over the keys of v[0..m): the smallest and largest key, how
// many keys lie below lo and how many in [lo, hi], and those in [lo, hi]
// in out (unless out is null), as long as no more than cap have been
// kept when a block of sixteen begins (out holds cap + 16).
struct key_scan {
    std::uint32_t least, most;
    std::size_t below, within, kept;
};
QUENZ_VECTOR_CLONES key_scan scan_keys(const float* v, std::size_t m, std::uint32_t lo, std::uint32_t hi,
                                       std::uint32_t* out, std::size_t cap) {
    const std::uint32_t span = hi - lo;
    u32x8 least = ~u32x8{}, most{}, below{}, within{};
    std::size_t n = 0, i = 0;
    // (lane counts: at most m / 8 < 2^32 each)
    for (; i + 16 <= m; i += 16) {
        u32x8 a, b;
        order_keys(a, v + i);
        order_keys(b, v + i + 8);
        least = a < least ? a : least;
        least = b < least ? b : least;
        most = a > most ? a : most;
        most = b > most ? b : most;
        below -= (u32x8)(a < lo);
        below -= (u32x8)(b < lo);
        const u32x8 in_a = (u32x8)(a - lo <= span), in_b = (u32x8)(b - lo <= span);
        within -= in_a;
        within -= in_b;
        if (out && n <= cap && any_lane(in_a | in_b)) {
            std::uint32_t bits = lane_bits(in_a) | lane_bits(in_b) << 8;
            do {
                out[n++] = order_key(v[i + std::size_t(__builtin_ctz(bits))]);
                bits &= bits - 1;
            } while (bits);
        }
    }
    key_scan r{~0u, 0u, 0, 0, 0};
    for (int l = 0; l < 8; ++l) {
        r.least = std::min(r.least, least[l]);
        r.most = std::max(r.most, most[l]);
        r.below += below[l];
        r.within += within[l];
    }
    for (; i < m; ++i) {
        const std::uint32_t key = order_key(v[i]);
        r.least = std::min(r.least, key);
        r.most = std::max(r.most, key);
        r.below += key < lo;
        const bool in = key - lo <= span;
        r.within += in;
        if (out && n <= cap && in) out[n++] = key;
    }
    r.kept = n;
    return r;
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

// Where in the order of keys the middle probably lies: the keys a
// sample of 4096 evenly spaced values puts 96 sample places below and
// above position k (three standard deviations of where position k of
// the sample falls), and the sample's keys between them, sorted.
constexpr std::size_t sample_size = 4096, sample_margin = 96;
struct middle_window {
    bool used = false;
    std::uint32_t lo = 0, hi = 0;
    std::vector<std::uint32_t> inside;  // the sample from lo to hi
};
middle_window window_of(const float* v, std::size_t m, std::size_t k) {
    middle_window w;
    if (m < 4 * sample_size) return w;
    const std::size_t step = m / sample_size;
    std::vector<std::uint32_t> keys(sample_size);
    std::uint32_t* s = keys.data();
    for (std::size_t i = 0; i < sample_size; ++i) s[i] = order_key(v[i * step + step / 2]);
    const std::size_t at = k / step < sample_size ? k / step : sample_size - 1;
    const std::size_t lo = at > sample_margin ? at - sample_margin : 0;
    const std::size_t hi = std::min(sample_size - 1, at + sample_margin);
    std::nth_element(s, s + lo, s + sample_size);
    if (hi > lo) {
        // (s[lo] stays where the first selection put it)
        std::nth_element(s + lo + 1, s + hi, s + sample_size);
        std::sort(s + lo + 1, s + hi);
    }
    w.used = true;
    w.lo = s[lo];
    w.hi = s[hi];
    w.inside.assign(s + lo, s + hi + 1);
    return w;
}

// The values at positions k and k+1 (k+1 only when want_next) of v[0..m)
// in key order, when the window holds both (nearly always): the window's
// count (from scan_keys, which found below keys under it and within in
// it) says where position k lies in it; the sample places a narrower
// window around that, 24 sample places each side (more than three
// standard deviations); a second pass keeps the keys in that, a few
// thousand, and a selection among them finishes. False when a window
// misses.
bool middle_of_window(const float* v, std::size_t m, std::size_t k, bool want_next,
                      const middle_window& w, const key_scan& scan, std::pair<float, float>& out) {
    const std::size_t last = want_next ? k + 1 : k;
    if (!w.used || scan.below > k || last >= scan.below + scan.within) return false;
    const std::size_t places = w.inside.size() - 1;
    const std::size_t at = (k - scan.below) * places / scan.within;
    const std::uint32_t lo = w.inside[at > 24 ? at - 24 : 0], hi = w.inside[std::min(places, at + 24)];
    if (lo == hi) {
        out = {from_key(lo), from_key(lo)};
        return true;
    }
    const std::size_t cap = m / 10;
    std::unique_ptr<std::uint32_t[]> kept(new std::uint32_t[cap + 16]);
    const key_scan near = scan_keys(v, m, lo, hi, kept.get(), cap);
    if (near.below > k || last >= near.below + near.within || near.kept != near.within) return false;
    std::uint32_t* first = kept.get();
    std::uint32_t* pos = first + (k - near.below);
    std::nth_element(first, pos, first + near.kept);
    out.first = from_key(*pos);
    out.second = want_next ? from_key(*std::min_element(pos + 1, first + near.kept)) : 0.0f;
    return true;
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
    const bool even = m % 2 == 0;
    const std::size_t k = even ? m / 2 - 1 : m / 2;
    const middle_window window = window_of(v, m, k);
    const key_scan scan = scan_keys(v, m, window.lo, window.hi, nullptr, 0);
    // The smallest and largest value as the loop `mn = v[i] < mn ? v[i] :
    // mn` from v[0] finds them: only a zero ties with a different value
    // (-0 and +0), and then the loop keeps the first zero.
    s.min = from_key(scan.least);
    s.max = from_key(scan.most);
    if (s.min == 0.0f || s.max == 0.0f) {
        const float first_zero = *std::find(v, v + m, 0.0f);
        if (s.min == 0.0f) s.min = first_zero;
        if (s.max == 0.0f) s.max = first_zero;
    }
    std::vector<std::uint32_t> sizes;
    leaf_sizes(m, sizes);
    std::vector<double> leaves(sizes.size());
    const double* leaf = leaves.data();
    leaf_sums(v, sizes.data(), sizes.size(), leaves.data());
    s.sum = add_leaves(m, leaf);
    const double mean = s.sum / double(m);
    leaf_squares(v, sizes.data(), sizes.size(), mean, leaves.data());
    leaf = leaves.data();
    const double m2 = add_leaves(m, leaf);
    s.mean = positive_nan(mean);
    s.std = positive_nan(std::sqrt(m2 / double(m)));
    s.sum = positive_nan(s.sum);
    // The middle value, or the mean of the two middle values.
    std::pair<float, float> middle;
    if (!middle_of_window(v, m, k, even, window, scan, middle)) middle = select_middle(v, m, k, even);
    const auto [lo, hi] = middle;
    s.median = positive_nan(even ? (double(lo) + double(hi)) / 2.0 : double(lo));
    return s;
}

}  // namespace quenz

// Division of 16-bit counts by one divisor without a division per pixel:
// the divisor's multiplier and shifts are worked out once, and each count
// is then a 16-bit multiply-high, a subtraction, an addition and two shifts
// (Granlund and Montgomery, "Division by invariant integers using
// multiplication", 1994, section 4), all in 16-bit lanes.
#pragma once
#include <bit>
#include <cstddef>

namespace quenz {

// For a divisor d in 1..65535 with l = ceil(log2 d):
//   m = floor(2^16 (2^l - d) / d) + 1,  t = (p m) >> 16,
//   floor(p / d) = (t + ((p - t) >> min(l, 1))) >> max(l - 1, 0)
// for every p in 0..65535. m < 2^16 and p - t >= 0, so every step stays
// within 16 bits.
struct Divisor16 {
    unsigned short m;
    int shift1, shift2;

    explicit Divisor16(unsigned short d) {
        const int l = d > 1 ? 16 - std::countl_zero((unsigned short)(d - 1)) : 0;
        m = (unsigned short)((((unsigned long long)1 << 16) * ((1ull << l) - d)) / d + 1);
        shift1 = l > 0 ? 1 : 0;
        shift2 = l > 0 ? l - 1 : 0;
    }
    unsigned short operator()(unsigned short p) const {
        unsigned short t = (unsigned short)((unsigned(p) * m) >> 16);
        return (unsigned short)((t + ((unsigned short)(p - t) >> shift1)) >> shift2);
    }
};

// Thirty-two counts per step (one AVX-512 register, two AVX2 or four SSE
// ones). The multiply-high is written per lane, which the compiler turns
// into pmulhuw; the shifts by a run-time count are vector shifts.
typedef unsigned short u16x32 __attribute__((vector_size(64)));

// p[i] = floor(p[i] / d) for n counts. Inline into the caller's
// QUENZ_VECTOR_CLONES function, which picks the vector width.
[[gnu::always_inline]] inline void divide_counts(unsigned short* p, const Divisor16& d, std::size_t n) {
    const unsigned short m = d.m;
    const int s1 = d.shift1, s2 = d.shift2;
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        u16x32 x, t;
        __builtin_memcpy(&x, p + i, sizeof x);
        for (int j = 0; j < 32; ++j) t[j] = (unsigned short)((unsigned(x[j]) * m) >> 16);
        u16x32 r = (t + ((x - t) >> s1)) >> s2;
        __builtin_memcpy(p + i, &r, sizeof r);
    }
    for (; i < n; ++i) p[i] = d(p[i]);
}

}  // namespace quenz

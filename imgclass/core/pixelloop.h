// Single passes over the pixels of one image, with an image or a value as
// the second operand. The loops are written so the compiler vectorises
// them; the callers put them into functions compiled for AVX-512 (x86-64-v4)
// and AVX2 as well as for any x86-64 (QUENZ_VECTOR_CLONES), picked when the
// library loads.
// Each pixel's result depends on that pixel alone, so the vector code gives
// the same bits as a plain loop.
#pragma once
#include <cstddef>

// QUENZ_NO_CLONES (the build option of that name) leaves only the plain
// x86-64 code, so that a check can compare every result with the widest
// clones' (make test-isa).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(QUENZ_NO_CLONES)
#define QUENZ_VECTOR_CLONES \
    __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#define QUENZ_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QUENZ_VECTOR_CLONES
#define QUENZ_AVX2_CLONES
#endif

namespace quenz {

// p[i] = f(p[i], q[i]). Two images never overlap except when an image is
// its own operand (q == p), which gets its own loop: the restrict-qualified
// one needs no run-time overlap test.
template <class T, class F>
[[gnu::always_inline]] inline void pixels_with(T* __restrict p, const T* __restrict q, std::size_t n,
                                               F f) {
    for (std::size_t i = 0; i < n; ++i) p[i] = f(p[i], q[i]);
}
template <class T, class F>
[[gnu::always_inline]] inline void pixels_with_self(T* p, std::size_t n, F f) {
    for (std::size_t i = 0; i < n; ++i) p[i] = f(p[i], p[i]);
}
template <class T, class F>
[[gnu::always_inline]] inline void pixels_image(T* p, const T* q, std::size_t n, F f) {
    if (p == q)
        pixels_with_self(p, n, f);
    else
        pixels_with(p, q, n, f);
}

// p[i] = f(p[i], v).
template <class T, class F>
[[gnu::always_inline]] inline void pixels_value(T* p, T v, std::size_t n, F f) {
    for (std::size_t i = 0; i < n; ++i) p[i] = f(p[i], v);
}

// Sixteen lanes in explicit vectors (one AVX-512 register, two AVX2 or four
// SSE ones): for the divisions, whose zero test the compiler would
// otherwise turn into a branch around a division it may not speculate.
typedef unsigned short u16x16 __attribute__((vector_size(32)));
typedef float f32x16 __attribute__((vector_size(64)));
typedef int i32x16 __attribute__((vector_size(64)));

// (By reference: a vector value crossing a function boundary would have an
// ABI that depends on the clone.)
template <class V, class T> [[gnu::always_inline]] inline void load16(V& v, const T* p) {
    __builtin_memcpy(&v, p, sizeof v);
}
template <class V, class T> [[gnu::always_inline]] inline void store16(T* p, const V& v) {
    __builtin_memcpy(p, &v, sizeof v);
}

// Whether any lane of a comparison's result is set: the lanes as 64-bit
// words, or-ed (a loop over the lanes would extract them one by one).
template <class M> [[gnu::always_inline]] inline bool any_lane(const M& mask) {
    static_assert(sizeof mask % 8 == 0);
    unsigned long long w[sizeof mask / 8], acc = 0;
    __builtin_memcpy(w, &mask, sizeof mask);
    for (unsigned long long x : w) acc |= x;
    return acc != 0;
}

// The four arithmetic operators, as the cloned loops select them.
enum class PixelOp { add, sub, mul, div };

// The in-place arithmetic of a whole image, written once for every pixel
// type. Rules holds that type's arithmetic as static members:
//   add, sub, mul, dvd   one pixel: f(p, q); dvd leaves p where q is 0
//   lanes                the vector of sixteen pixels
//   quotient(r, a, d)    dvd's division on sixteen lanes, d free of zeros
// The callers wrap these in their QUENZ_VECTOR_CLONES functions.

// dvd by an image, sixteen pixels at a time (q may be p): a zero lane of q
// divides by 1 and keeps p, so no branch guards the division.
template <class Rules, class T>
[[gnu::always_inline]] inline void divide_pixels(T* p, const T* q, std::size_t n) {
    using V = typename Rules::lanes;
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        V a, b, r;
        load16(a, p + i);
        load16(b, q + i);
        auto nonzero = b != T(0);
        Rules::quotient(r, a, nonzero ? b : V{} + T(1));
        store16(p + i, nonzero ? r : a);
    }
    for (; i < n; ++i) p[i] = Rules::dvd(p[i], q[i]);
}

// p[i] = p[i] op q[i].
template <class Rules, class T>
[[gnu::always_inline]] inline void combine_pixels(PixelOp op, T* p, const T* q, std::size_t n) {
    switch (op) {
        case PixelOp::add: return pixels_image(p, q, n, Rules::add);
        case PixelOp::sub: return pixels_image(p, q, n, Rules::sub);
        case PixelOp::mul: return pixels_image(p, q, n, Rules::mul);
        case PixelOp::div: return divide_pixels<Rules>(p, q, n);
    }
}

// p[i] = p[i] op v. (Division by a value of 0 leaves every pixel: the
// callers save the pass.)
template <class Rules, class T>
[[gnu::always_inline]] inline void combine_value_pixels(PixelOp op, T* p, T v, std::size_t n) {
    switch (op) {
        case PixelOp::add: return pixels_value(p, v, n, Rules::add);
        case PixelOp::sub: return pixels_value(p, v, n, Rules::sub);
        case PixelOp::mul: return pixels_value(p, v, n, Rules::mul);
        case PixelOp::div: return pixels_value(p, v, n, Rules::dvd);
    }
}

}  // namespace quenz

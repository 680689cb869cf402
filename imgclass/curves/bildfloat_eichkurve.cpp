// bildfloat::apply_eichkurve: normalised counts to physical values through
// a curve's inverse table.
#include "imgclass/core/bildfloat.h"
#include "imgclass/core/pixelloop.h"
#include "imgclass/curves/eichkurve.h"

namespace {

typedef float f32x4 __attribute__((vector_size(16)));
typedef float f32x8 __attribute__((vector_size(32)));
typedef double f64x4 __attribute__((vector_size(32)));
typedef int i32x4 __attribute__((vector_size(16)));
typedef long long i64x4 __attribute__((vector_size(32)));

// The table's index for four values: a value above 1 (or +inf) takes the
// last entry, one below 0 (or -inf) the first, a NaN the first (its pixel
// keeps its value); in between the count is exact in double (24 x 16
// bits), then truncated: 1/65535 as a float times 65535 falls just below
// 1 and looks up entry 0.
[[gnu::always_inline]] inline void counts_of(i32x4& index, const f32x4& v) {
    f64x4 d = __builtin_convertvector(v, f64x4);
    const i64x4 number = d >= 0.0;
    d = (f64x4)((i64x4)(d * 65535.0) & number);
    const f64x4 last = {65535.0, 65535.0, 65535.0, 65535.0};
    d = d < last ? d : last;
    index = __builtin_convertvector(d, i32x4);
}

// Eight pixels at a time: their indices in vectors, the eight entries
// read one by one, rounded to float in vectors (as float(t[i]) rounds).
QUENZ_VECTOR_CLONES void look_up(float* p, std::size_t n, const double* t) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        f32x4 a, b;
        __builtin_memcpy(&a, p + i, sizeof a);
        __builtin_memcpy(&b, p + i + 4, sizeof b);
        i32x4 ia, ib;
        counts_of(ia, a);
        counts_of(ib, b);
        const f64x4 ta = {t[ia[0]], t[ia[1]], t[ia[2]], t[ia[3]]};
        const f64x4 tb = {t[ib[0]], t[ib[1]], t[ib[2]], t[ib[3]]};
        const f32x4 ra = __builtin_convertvector(ta, f32x4), rb = __builtin_convertvector(tb, f32x4);
        const f32x4 oa = a == a ? ra : a, ob = b == b ? rb : b;
        __builtin_memcpy(p + i, &oa, sizeof oa);
        __builtin_memcpy(p + i + 4, &ob, sizeof ob);
    }
    for (; i < n; ++i) {
        const float v = p[i];
        if (v > 1)
            p[i] = float(t[65535]);
        else if (v < 0)
            p[i] = float(t[0]);
        else if (v == v)
            p[i] = float(t[int(double(v) * 65535.0)]);
    }
}

}  // namespace

bildfloat& bildfloat::apply_eichkurve(const eichkurve& ek) {
    static_assert(eichkurve::table_size == 65536);
    look_up(data(), npixels(), ek.values().data());
    return *this;
}

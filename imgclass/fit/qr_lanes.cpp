// Keep each expression in the shape it has in qr.cpp: the lanes must round
// exactly as the one-pixel solver does (no contraction, same association).
#include "imgclass/fit/qr_lanes.h"

#include <cmath>
#include <cstring>

#include "imgclass/core/pixelloop.h"

namespace quenz {

namespace {

using Vec = LaneFit::Vec;
constexpr int W = LaneFit::lanes;
using Mask = decltype(Vec{} > Vec{});  // lanes of all ones or all zeros
using Counts = unsigned short __attribute__((vector_size(2 * W)));

// (The body is one function: helpers taking vectors by value would be
// compiled for the base target and change the calling convention.)
QUENZ_VECTOR_CLONES bool fit_lanes(
    int m, int n, const unsigned short* const* src, int x0, const float* refw, double eps, Vec* A,
    Vec* b, Vec* diag, Vec* x) {
    for (int j = 0; j < m; ++j) {
        Counts c;
        std::memcpy(&c, src[j] + x0, sizeof c);
        Vec v = __builtin_convertvector(c, Vec) / 65535.0;
        Vec* row = A + j * n;
        row[0] = Vec{} + 1.0;
        for (int k = 1; k < n; ++k) row[k] = row[k - 1] * v;
        b[j] = Vec{} + double(refw[j]);
    }

    const Mask abs_bits = Mask{} + 0x7fffffffffffffff;
    Vec prev = Vec{};
    for (int i = 0; i < n; ++i) {
        Vec s2 = Vec{};
        for (int r = i + 1; r < m; ++r) s2 += A[r * n + i] * A[r * n + i];
        Vec c = A[i * n + i];
        Mask odd = eps * eps * s2 > c * c;
        Vec sum2 = s2 + c * c, norm;
        for (int l = 0; l < W; ++l) norm[l] = std::sqrt(sum2[l]);
        Vec sigma = c > 0 ? Vec{} + 1.0 : Vec{} - 1.0;
        diag[i] = -sigma * norm;
        A[i * n + i] = c + sigma * norm;
        Vec mag = (Vec)((Mask)diag[i] & abs_bits);
        odd |= eps * prev > mag;
        if (any_lane(odd)) return false;
        prev = mag;

        Vec beta = 2.0 / (s2 + A[i * n + i] * A[i * n + i]);
        for (int k = i + 1; k < n; ++k) {
            Vec sum = Vec{};
            for (int r = i; r < m; ++r) sum += A[r * n + k] * A[r * n + i];
            Vec t = beta * sum;
            for (int r = i; r < m; ++r) A[r * n + k] -= t * A[r * n + i];
        }
        Vec sum = Vec{};
        for (int r = i; r < m; ++r) sum += b[r] * A[r * n + i];
        Vec t = beta * sum;
        for (int r = i; r < m; ++r) b[r] -= t * A[r * n + i];
    }

    for (int i = n - 1; i >= 0; --i) {
        Vec sum = Vec{};
        for (int j = i + 1; j < n; ++j) sum += A[i * n + j] * x[j];
        x[i] = (b[i] - sum) / diag[i];
    }
    return true;
}

}  // namespace

LaneFit::LaneFit(int m, int n)
    : m_(m),
      n_(n),
      b_(std::size_t(m) * std::size_t(n)),
      diag_(b_ + std::size_t(m)),
      x_(diag_ + std::size_t(n)),
      slots_(x_ + std::size_t(n)) {
    static_assert(sizeof(Slot) == sizeof(Vec) && alignof(Slot) == alignof(Vec));
}

bool LaneFit::fit(const unsigned short* const* src, int x0, const float* refw, double eps) {
    Vec* v = reinterpret_cast<Vec*>(slots_.data());
    return fit_lanes(m_, n_, src, x0, refw, eps, v, v + b_, v + diag_, v + x_);
}

}  // namespace quenz

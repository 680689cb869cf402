// The per-pixel polynomial fit for several neighbouring pixels at once, one
// pixel per vector lane. Every pixel's design matrix has the same shape and
// the solver's work is the same for each, so the lanes run the operations of
// Householder_QR and Backsubst_R (qr.h) in their order, one IEEE operation
// for one: each pixel's coefficients are bit-identical to fitting it alone.
#pragma once
#include <cstddef>
#include <vector>

namespace quenz {

class LaneFit {
public:
    static constexpr int lanes = 8;
    // (Aligned by hand: the natural alignment of a vector type is that of
    // the base target, and containers drop attributes.)
    using Vec = double __attribute__((vector_size(8 * lanes), aligned(8 * lanes)));

    // m reference exposures, n coefficients.
    LaneFit(int m, int n);

    // Fits the pixels x0 .. x0 + lanes - 1 of the rows src[0..m-1] to the
    // reference values refw[0..m-1]. Returns false when any of them needs
    // the solver's rank-deficiency handling (a negligible diagonal element
    // or an early stop), which writes to the console; the caller then fits
    // those pixels one by one and coeff() means nothing.
    bool fit(const unsigned short* const* src, int x0, const float* refw, double eps);

    // Coefficient k of the pixel in lane l, after fit() returned true.
    double coeff(int k, int l) const { return slots_[x_ + k].d[l]; }

private:
    struct alignas(8 * lanes) Slot {
        double d[lanes];
    };
    int m_, n_;
    std::size_t b_, diag_, x_;  // where each array starts in slots_, after A
    std::vector<Slot> slots_;
};

}  // namespace quenz

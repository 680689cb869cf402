// Image-wide per-pixel calibration: every pixel through its own polynomial.
#include "imgclass/core/bildfloat.h"
#include "imgclass/core/pixelloop.h"
#include "imgclass/system/parallel.h"
#include "imgclass/fit/qrfit.h"

namespace {

// QRfit::eval for pixels [0, n) with a fixed order, written so that the
// compiler vectorises it: the same operations per pixel, the clamp as a
// selection (a NaN sum stays NaN, as in eval).
template <int order>
[[gnu::always_inline]] inline void correct_fixed(float* __restrict pix, const float* __restrict coeff,
                                                 std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const float* c = coeff + i * order;
        const float val = pix[i];
        float s = c[0], p = 1.0f;
        for (int k = 1; k < order; ++k) {
            p = p * val;
            s = s + p * c[k];
        }
        pix[i] = s < 0.0f ? 0.0f : s > 1.0f ? 1.0f : s;
    }
}

QUENZ_VECTOR_CLONES void correct_pixels(float* pix, const float* coeff, std::size_t n, int order) {
    switch (order) {
    case 2: correct_fixed<2>(pix, coeff, n); break;
    case 3: correct_fixed<3>(pix, coeff, n); break;
    case 4: correct_fixed<4>(pix, coeff, n); break;
    case 5: correct_fixed<5>(pix, coeff, n); break;
    default:
        for (std::size_t i = 0; i < n; ++i) pix[i] = QRfit::eval(coeff + i * std::size_t(order), order, pix[i]);
    }
}

}  // namespace

bildfloat& bildfloat::polyfit_correct(const QRfit& korrektor) {
    const int order = korrektor.order();
    const float* coeff = korrektor.coefficients();
    float* pix = data();
    const std::size_t width = std::size_t(SIZEX);
    // Each pixel depends only on itself, so rows may run in any order.
    quenz::parallel_for(0, SIZEY, [&](int lo, int hi) {
        correct_pixels(pix + lo * width, coeff + lo * width * std::size_t(order), (hi - lo) * width, order);
    });
    return *this;
}

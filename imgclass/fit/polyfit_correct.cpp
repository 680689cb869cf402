// Image-wide per-pixel calibration: every pixel through its own polynomial.
#include "imgclass/core/bildfloat.h"
#include "imgclass/system/parallel.h"
#include "imgclass/fit/qrfit.h"

bildfloat& bildfloat::polyfit_correct(const QRfit& korrektor) {
    const int order = korrektor.order();
    const float* coeff = korrektor.coefficients();
    float* pix = data();
    const std::size_t width = std::size_t(SIZEX);
    // Each pixel depends only on itself, so rows may run in any order.
    quenz::parallel_for(0, SIZEY, [&](int lo, int hi) {
        for (std::size_t i = lo * width, end = hi * width; i < end; ++i)
            pix[i] = QRfit::eval(coeff + i * order, order, pix[i]);
    });
    return *this;
}

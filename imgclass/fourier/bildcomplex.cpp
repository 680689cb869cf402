// Building complex images from float images and taking them apart.
#include "imgclass/fourier/bildcomplex.h"

#include "imgclass/core/bildfloat.h"
#include "imgclass/fourier/fft.h"

bildcomplex::bildcomplex(const bildfloat& realvalue) {
    const float* r = realvalue.data();
    COMPLEX* p = data();
    for (std::size_t i = 0; i < npixels(); ++i) p[i] = {r[i], 0.0f};
}

bildcomplex::bildcomplex(const bildfloat& real, const bildfloat& imag) {
    const float* r = real.data();
    const float* m = imag.data();
    COMPLEX* p = data();
    for (std::size_t i = 0; i < npixels(); ++i) p[i] = {r[i], m[i]};
}

void bildcomplex::decompose(bildfloat& real, bildfloat& imag) const {
    const COMPLEX* p = data();
    float* r = real.data();
    float* m = imag.data();
    for (std::size_t i = 0; i < npixels(); ++i) {
        r[i] = p[i].re;
        m[i] = p[i].im;
    }
}

bildfloat& bildcomplex::norm(bildfloat& ret) const {
    const COMPLEX* p = data();
    float* r = ret.data();
    for (std::size_t i = 0; i < npixels(); ++i) r[i] = p[i].re * p[i].re + p[i].im * p[i].im;
    return ret;
}

void bildcomplex::set(int y, int x, float real, float imag) {
    check_yx("bildcomplex_set", y, x);
    row(y)[x] = {real, imag};
}

// A size that is not a power of two is reported on standard error by the
// transform and leaves the image as it was; the image is returned anyway.
bildcomplex& bildcomplex::FFT_forward() {
    quenz::fft_2d(data(), SIZEX, SIZEY, quenz::fft_forward);
    return *this;
}

bildcomplex& bildcomplex::FFT_backward() {
    quenz::fft_2d(data(), SIZEX, SIZEY, quenz::fft_backward);
    return *this;
}

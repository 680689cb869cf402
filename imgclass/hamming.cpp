// The circular Hamming window of complex images and its inverse.
#include <cmath>

#include "bildcomplex.h"
#include "parallel.h"

namespace {

constexpr double pi = 3.141592653589793;
constexpr double gain = 2.36961606240022;

// Calls f(pixel, h) inside the circle; zeroes the real part on and outside it.
// Rows are independent (a cosine per pixel), so they are split over the cores.
template <class F>
void each_weight(bildcomplex& img, float width, float xm, float ym, F f) {
    float w2 = width * width;
    quenz::parallel_for(0, img.SIZEY, [&](int i0, int i1) {
        for (int i = i0; i < i1; ++i) {
            float dy = float(i) - ym;
            float dy2 = dy * dy;
            COMPLEX* row = img.rows[i];
            for (int j = 0; j < img.SIZEX; ++j) {
                float dx = float(j) - xm;
                float dx2 = dx * dx;
                double rho2 = double(dx2) + double(dy2);  // the sum itself stays unrounded
                if (double(w2) > rho2) {
                    float rho = float(std::sqrt(rho2));
                    double c = 0.54 + 0.46 * std::cos(pi * double(rho) / double(width));
                    f(row[j], float(c * c * gain));
                } else {
                    row[j].re = 0.0f;
                }
            }
        }
    });
}

}  // namespace

bildcomplex& bildcomplex::Hamming_window(float width, float xm, float ym) {
    each_weight(*this, width, xm, ym, [](COMPLEX& p, float h) {
        p.re *= h;
        p.im *= h;
    });
    return *this;
}

bildcomplex& bildcomplex::Hamming_unwindow(float width, float xm, float ym) {
    each_weight(*this, width, xm, ym, [](COMPLEX& p, float h) {
        p.re /= h;
        p.im /= h;
    });
    return *this;
}

// The complex image: real and imaginary parts as single-precision floats,
// transformed to and from the frequency domain in place.
#pragma once
#include "imgclass/core/imgbase.h"

class bildfloat;

class bildcomplex : public bildcomplex_base {
public:
    bildcomplex() = default;  // every pixel (0, 0)
    explicit bildcomplex(const bildfloat& realvalue);
    bildcomplex(const bildfloat& real, const bildfloat& imag);

    void decompose(bildfloat& real, bildfloat& imag) const;
    // re^2 + im^2 per pixel: the power, not the magnitude.
    bildfloat& norm(bildfloat& ret) const;
    // One pixel; coordinates outside the image are refused.
    void set(int y, int x, float real, float imag);

    // Forward: unscaled, zero frequency at (256, 256). Backward: the inverse,
    // scaled by 1/262144.
    bildcomplex& FFT_forward();
    bildcomplex& FFT_backward();

    // Multiplies (or divides) by the squared Hamming profile over the radius
    // around column xm, row ym; the real part outside the circle becomes 0.
    // By default the window is window_width wide around the image centre,
    // where the forward transform puts the zero frequency.
    static constexpr float window_width = 220.0f;
    static constexpr float window_centre = quenz::image_size / 2;
    bildcomplex& Hamming_window(float width = window_width, float xm = window_centre,
                                float ym = window_centre);
    bildcomplex& Hamming_unwindow(float width = window_width, float xm = window_centre,
                                  float ym = window_centre);
};

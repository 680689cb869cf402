// QRfit: a per-pixel polynomial calibration. For every pixel a polynomial
// of `order` coefficients (lowest power first) maps the normalised raw value
// (count / 65535) to the reference value it was fitted to.
//
// The coefficients of all pixels live in one block, pixel after pixel in
// row-major order, `order` floats each: the layout of the file body, so
// reading and writing are block copies and the fit allocates nothing per
// pixel.
#pragma once
#include <span>
#include <string>
#include <vector>

#include "imgclass/core/bigblocks.h"
#include "imgclass/core/imgbase.h"

class QRfit {
public:
    // The number of coefficients per pixel when none is given.
    static constexpr int default_order = 4;

    // Fits every pixel to the first nrefimg images and reference values.
    QRfit(std::span<const bild16_base* const> refbilder, std::span<const float> refw,
          int nrefimg, int order_ = default_order);
    // Reads a file written by write().
    explicit QRfit(const char* fname);

    void write(const char* fname) const;
    // Replaces everything from the file, or fails and changes nothing.
    void read(const char* fname);

    // The corrected value of val at pixel (row y, column x), clamped to [0, 1].
    float apply(int y, int x, float val) const;
    // Coefficient n of pixel (row y, column x); note the column comes first.
    float get_coeff(int x, int y, int n) const;

    int nrefimg() const { return nrefimg_; }
    int order() const { return order_; }
    const std::vector<float>& refw() const { return refw_; }
    // All coefficients, `order` per pixel, row-major.
    const float* coefficients() const { return coeff_.data(); }

    // The polynomial c[0] + c[1]·v + ... in single precision with a running
    // power, clamped to [0, 1]; NaN stays NaN.
    static float eval(const float* c, int order, float val) {
        float s = c[0], p = 1.0f;
        for (int k = 1; k < order; ++k) {
            p = p * val;
            s = s + p * c[k];
        }
        if (s < 0.0f) return 0.0f;
        if (s > 1.0f) return 1.0f;
        return s;
    }

    // The counts a file can carry (they are stored as signed bytes).
    static constexpr int max_count = 127;

private:
    QRfit() = default;
    void fit(std::span<const bild16_base* const> refbilder);

    int nrefimg_ = 0;
    int order_ = default_order;
    std::vector<float> refw_;
    quenz::BigBlock account_;  // (before the coefficients: counts down after they are freed)
    std::vector<float> coeff_;
};

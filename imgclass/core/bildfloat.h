// The working image: single-precision floats, normally counts / 65535.
#pragma once
#include <span>

#include "imgclass/core/imgbase.h"

class bild16;
class eichkurve;
class QRfit;

class bildfloat : public bildfloat_base {
public:
    bildfloat() = default;
    explicit bildfloat(quenz::no_init_t) : bildfloat_base(quenz::no_init) {}
    explicit bildfloat(const bild16& aufnahme);
    explicit bildfloat(const region_t& regio);  // 1 inside, quiet NaN outside
    bildfloat(const bildfloat& bfl) = default;
    explicit bildfloat(const char* name);  // reads a gnuplot binary matrix

    bildfloat& from_bild16(const bild16& aufnahme);

    bildfloat& operator=(const bildfloat& b);
    bildfloat& operator=(data_t v);
    bildfloat& operator+=(const bildfloat& b);
    bildfloat& operator+=(float v);
    bildfloat& operator-=(const bildfloat& b);
    bildfloat& operator-=(float v);
    bildfloat& operator*=(const bildfloat& b);
    bildfloat& operator*=(float v);
    bildfloat& operator/=(const bildfloat& b);
    bildfloat& operator/=(float v);

    // Gnuplot binary matrix files.
    void write_gnuplot(const char* name) const;
    bildfloat& read_gnuplot(const char* name);

    // Calibration curve (count -> physical value through the inverse table).
    bildfloat& apply_eichkurve(const eichkurve& ek);

    // Filters; the kernel holds at least sx*sy values in row-major order.
    // The result is a new image owned by the caller.
    bildfloat* convolve(std::span<const float> kernel, int sx, int sy, bool normalise = true) const;
    bildfloat* convolve_unnorm(std::span<const float> kernel, int sx, int sy) const;
    bildfloat& gaussian(float radius);

    // Corrections.
    bildfloat& badpix_correct(const bild16& bpmap, unsigned short threshold = 32767);
    bildfloat& mask(const region_t& reg);
    bildfloat& polyfit_correct(const QRfit& korrektor);
};

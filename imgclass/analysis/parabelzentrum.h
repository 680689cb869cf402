// Parabelzentrum: centre and height of one peak in a bildfloat, with
// sub-pixel precision, by a least-squares fit of the axis-parallel
// paraboloid v = c0 + c1·dx + c2·dy + c3·dx² + c4·dy² to the pixels put,
// where dx, dy are offsets from the estimated centre.
#pragma once
#include <array>
#include <memory>
#include <optional>

#include "imgclass/fit/qr.h"

class bildfloat;

class Parabelzentrum {
public:
    // The image must outlive the object; pktmax_ points at most.
    Parabelzentrum(const bildfloat& bild_, int pktmax_);

    // The estimated centre (column x, row y); only while no point is held.
    void estimate(double x, double y);
    // Adds the pixel at column x, row y.
    void put(int x, int y);
    // Back to collecting, estimate (0, 0); the last results stay readable.
    void clear();
    // False for no points and a singular system; true otherwise (see .cpp).
    bool fit();

    double x() const { return x0_ + x_; }
    double y() const { return y0_ + y_; }
    double height() const;
    double s_x() const { return s_x_; }
    double s_y() const { return s_y_; }
    double s_height() const;

    int npkt() const { return npkt_; }
    int pktmax() const { return pktmax_; }
    // The five coefficients c0..c4; set_koeff copies five values in.
    double* koeff() { return koeff_.data(); }
    void set_koeff(const double* k);

private:
    // The running extreme of a bounded priority queue of capacity 1.
    struct Extreme {
        std::optional<double> v;
        template <class Better> void take(double d, Better better) {
            if (!v || better(d, *v)) v = d;
        }
    };

    const bildfloat& bild_;
    int pktmax_;
    int npkt_ = 0;
    quenz::Matrix design_;  // pktmax_ rows (1, dx, dy, dx², dy²)
    std::unique_ptr<double[]> werte_;  // uninitialised, like design_
    double x_ = 0, y_ = 0, x0_ = 0, y0_ = 0, s_x_ = 0, s_y_ = 0;
    Extreme dx_max_, dx_min_, dy_max_, dy_min_;
    std::array<double, 5> koeff_{}, s_koeff_{}, rel_koeff_{};
};

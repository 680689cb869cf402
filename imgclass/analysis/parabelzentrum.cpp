// The paraboloid fit of one peak.
#include "imgclass/analysis/parabelzentrum.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <string>

#include "imgclass/core/bildfloat.h"
#include "imgclass/system/error.h"

Parabelzentrum::Parabelzentrum(const bildfloat& bild, int pktmax)
    : bild_(bild), pktmax_(pktmax) {
    if (pktmax < 1)
        throw quenz::Error("Parabelzentrum: pktmax_ must be at least 1, not " +
                           std::to_string(pktmax));
    design_ = quenz::Matrix(pktmax, 5);
    werte_.reset(new double[std::size_t(pktmax)]);
}

void Parabelzentrum::estimate(double x, double y) {
    if (npkt_ != 0) throw quenz::Error("Error: Can set estimate only if there are no points");
    x0_ = x;
    y0_ = y;
}

void Parabelzentrum::put(int x, int y) {
    if (npkt_ == pktmax_) throw quenz::Error("Mist -- zuwenig Platz für die Punkte");
    bildfloat_base::check_yx("Parabelzentrum_put", y, x);
    werte_[npkt_] = double(bild_.row(y)[x]);
    double dx = x - x0_, dy = y - y0_;
    double* row = design_[npkt_];
    row[0] = 1.0;
    row[1] = dx;
    row[2] = dy;
    row[3] = dx * dx;
    row[4] = dy * dy;
    ++npkt_;
    dx_max_.take(dx, std::greater<double>());
    dx_min_.take(dx, std::less<double>());
    dy_max_.take(dy, std::greater<double>());
    dy_min_.take(dy, std::less<double>());
}

void Parabelzentrum::clear() {
    npkt_ = 0;
    x_ = y_ = 0.0;
    x0_ = y0_ = 0.0;
    dx_max_ = dx_min_ = dy_max_ = dy_min_ = Extreme{};
}

static void say(const char* line) { std::cerr << line << std::endl; }

bool Parabelzentrum::fit() {
    const int n = npkt_;
    // Fallback position and spread: mean and population variance of the
    // offsets. They stand whenever a later step gives up (0/0 for no points).
    double sx = 0.0, sy = 0.0;
    for (int i = 0; i < n; ++i) {
        sx += design_[i][1];
        sy += design_[i][2];
    }
    x_ = sx / n;
    y_ = sy / n;
    double vx = 0.0, vy = 0.0;
    for (int i = 0; i < n; ++i) {
        vx += (design_[i][1] - x_) * (design_[i][1] - x_);
        vy += (design_[i][2] - y_) * (design_[i][2] - y_);
    }
    s_x_ = vx / n;
    s_y_ = vy / n;

    if (n == 0) {
        say("Fit ohne Punkte !");
        return false;
    }
    if (n < 10) {
        say("Sehr wenig Punkte !");
        return true;
    }
    double diag[5];
    if (quenz::Householder_QR(n, 5, design_.rows(), diag, werte_.get(), 1e-10)) {
        say("Matrix singulär ????");
        return false;
    }
    quenz::Backsubst_R(5, design_.rows(), diag, werte_.get(), koeff_.data());
    quenz::Param_errors(5, n, design_.rows(), diag, werte_.get(), s_koeff_.data());
    for (int i = 0; i < 5; ++i) rel_koeff_[i] = s_koeff_[i] / koeff_[i];

    const double* c = koeff_.data();
    double xc = -c[1] / (2 * c[3]);
    double yc = -c[2] / (2 * c[4]);
    if (xc > *dx_max_.v || xc < *dx_min_.v || yc > *dy_max_.v || yc < *dy_min_.v) {
        say("Danebengeschossen !");
        return true;
    }
    const double* r = rel_koeff_.data();
    x_ = xc;
    y_ = yc;
    s_x_ = xc * std::sqrt(r[1] * r[1] + r[3] * r[3]);
    s_y_ = yc * std::sqrt(r[2] * r[2] + r[4] * r[4]);
    return true;
}

double Parabelzentrum::height() const {
    const double* c = koeff_.data();
    return c[0] - c[1] * c[1] / (4 * c[3]) - c[2] * c[2] / (4 * c[4]);
}

double Parabelzentrum::s_height() const {
    const double* c = koeff_.data();
    const double* r = rel_koeff_.data();
    double g1 = c[1] * c[1] / (4 * c[3]);
    double g2 = c[2] * c[2] / (4 * c[4]);
    return std::sqrt(s_koeff_[0] * s_koeff_[0] + g1 * g1 * (2 * r[1] * r[1] + r[3] * r[3]) +
                     g2 * g2 * (2 * r[2] * r[2] + r[4] * r[4]));
}

void Parabelzentrum::set_koeff(const double* k) {
    if (!k) throw quenz::Error("Parabelzentrum: -koeff needs five coefficients, not NULL");
    std::array<double, 5> copy;  // k may point at this object's own array
    std::copy(k, k + 5, copy.begin());
    koeff_ = copy;
}

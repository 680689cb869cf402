#include "imgclass/curves/eichkurve.h"

#include <cmath>

#include "imgclass/curves/eichtabelle.h"
#include "imgclass/system/parallel.h"

double eichkurve::invert(double val, double lo, double hi) const {
    return invert(val, lo, hi, eichfun(lo), eichfun(hi));
}

double eichkurve::invert(double val, double lo, double hi, double f_lo, double f_hi) const {
    const double y = val;
    double s;
    if (f_lo < f_hi) {
        s = +1;
        if (y < f_lo) return lo;
        if (y > f_hi) return hi;
    } else {
        s = -1;
        if (y > f_lo) return lo;
        if (y < f_hi) return hi;
    }
    double x = lo;
    for (int step = 0; step < max_steps; ++step) {
        x = lo + (y - f_lo) / (f_hi - f_lo) * (hi - lo);
        double f = eichfun(x);
        // A NaN comparison falls to the lower end, as does "not above".
        if (s * (f - y) > 0) {
            hi = x;
            f_hi = f;
        } else {
            lo = x;
            f_lo = f;
        }
        if (!(std::fabs(f - y) > 0.1)) break;
    }
    return x;
}

void eichkurve::fill_table(double lo, double hi) {
    double* t = table.get();
    // The ends are the same for every entry: evaluated once.
    const double f_lo = eichfun(lo), f_hi = eichfun(hi);
    // Entries are independent, so any split gives the serial table bit for bit.
    quenz::parallel_for(0, table_size, [&](int a, int b) {
        for (int i = a; i < b; ++i) t[i] = invert(i, lo, hi, f_lo, f_hi);
    });
}

void eichkurve::table_write(const char* name) const { quenz::write_eichtabelle(name, values()); }

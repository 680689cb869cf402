#include "imgclass/curves/expkurve.h"

#include <cmath>

expkurve::expkurve(double sA, double sg1, double sg2, double sg3, double sf1, double sf2)
    : A(sA), g1(sg1), g2(sg2), g3(sg3), f1(sf1), f2(sf2) {
    fill_table(0, 40);
}

double expkurve::eichfun(double x) const {
    return A * (f1 * std::exp(-g1 * x) + f2 * std::exp(-g2 * x) + (1 - f1 - f2) * std::exp(-g3 * x));
}

double expkurve::deichfun_dx(double x) const {
    return -A * (g1 * f1 * std::exp(-g1 * x) + g2 * f2 * std::exp(-g2 * x) +
                 g3 * (1 - f1 - f2) * std::exp(-g3 * x));
}

// Not validated: a count of 0 gives infinity, as the logarithm does.
double expkurve::initguess(bild16::data_t val) const { return -std::log(val / A) / g1; }

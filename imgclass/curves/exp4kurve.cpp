#include "imgclass/curves/exp4kurve.h"

#include <cmath>

exp4kurve::exp4kurve(double sA, double sa1, double sa2, double sa3, double sb1, double sb2,
                     double sb3, double sb4)
    : A(sA), a1(sa1), a2(sa2), a3(sa3), b1(sb1), b2(sb2), b3(sb3), b4(sb4) {
    fill_table(0, 35);
}

double exp4kurve::eichfun(double x) const {
    return A * (a1 * std::exp(-b1 * x) + a2 * std::exp(-b2 * x) + a3 * std::exp(-b3 * x) +
                (1 - a1 - a2 - a3) * std::exp(-b4 * x));
}

double exp4kurve::deichfun_dx(double x) const {
    return -A * (b1 * a1 * std::exp(-b1 * x) + b2 * a2 * std::exp(-b2 * x) +
                 b3 * a3 * std::exp(-b3 * x) + b4 * (1 - a1 - a2 - a3) * std::exp(-b4 * x));
}

// The estimate follows the third term; with a3 = 0 it is not finite.
double exp4kurve::initguess(bild16::data_t val) const { return -std::log(val / (A * a3)) / b3; }

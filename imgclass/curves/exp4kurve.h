// Four exponential terms whose weights sum to 1:
// A*(a1*exp(-b1*x) + a2*exp(-b2*x) + a3*exp(-b3*x) + (1-a1-a2-a3)*exp(-b4*x)),
// inverted over [0, 35].
#pragma once
#include "imgclass/curves/eichkurve.h"

class exp4kurve : public eichkurve {
public:
    double A, a1, a2, a3, b1, b2, b3, b4;

    exp4kurve(double sA, double sa1, double sa2, double sa3, double sb1, double sb2, double sb3,
              double sb4);

    double eichfun(double x) const override;
    double deichfun_dx(double x) const override;
    double initguess(bild16::data_t val) const override;  // third term only
};

// Three exponential terms whose weights sum to 1:
// A*(f1*exp(-g1*x) + f2*exp(-g2*x) + (1-f1-f2)*exp(-g3*x)), inverted over [0, 40].
#pragma once
#include "imgclass/curves/eichkurve.h"

class expkurve : public eichkurve {
public:
    double A, g1, g2, g3, f1, f2;

    expkurve(double sA, double sg1, double sg2, double sg3, double sf1, double sf2);

    double eichfun(double x) const override;
    double deichfun_dx(double x) const override;
    double initguess(bild16::data_t val) const override;  // first term only
};

// A curve known only by its inverse table, loaded from an "EICHTABELLE"
// file; it has no forward model.
#pragma once
#include "imgclass/curves/eichkurve.h"

class tablekurve : public eichkurve {
public:
    explicit tablekurve(const char* fname);

    // Each throws "Tablekurve pseudo-function called".
    double eichfun(double x) const override;
    double deichfun_dx(double x) const override;
    double initguess(bild16::data_t val) const override;
};

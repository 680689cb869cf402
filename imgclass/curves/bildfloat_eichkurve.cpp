// bildfloat::apply_eichkurve: normalised counts to physical values through
// a curve's inverse table.
#include "imgclass/core/bildfloat.h"
#include "imgclass/curves/eichkurve.h"

bildfloat& bildfloat::apply_eichkurve(const eichkurve& ek) {
    const double* t = ek.values().data();
    const double hi = t[eichkurve::table_size - 1], lo = t[0];
    float* p = data();
    for (std::size_t i = 0; i < npixels(); ++i) {
        const float v = p[i];
        if (v > 1)
            p[i] = float(hi);
        else if (v < 0)
            p[i] = float(lo);
        else if (v == v)
            // Exact in double (24 x 16 bits), then truncated: 1/65535 as a
            // float times 65535 falls just below 1 and looks up entry 0.
            p[i] = float(t[int(double(v) * 65535.0)]);
        // A NaN (a masked pixel) has no count and stays NaN.
    }
    return *this;
}

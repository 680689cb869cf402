// The true area of the height landscape of a float image, summed over the
// pixels a script puts.
#pragma once
#include "imgclass/core/bildfloat.h"

class surface {
public:
    double surf = 0.0;
    const bildfloat& rb;  // not owned: the script keeps the image alive

    explicit surface(const bildfloat& rb_) : rb(rb_) {}

    // Adds the tilted area element above pixel (column x, row y). The
    // central differences need all four neighbours: 1 <= x, y <= 510.
    void put(int x, int y);
    double get() const { return surf; }
};

#include "imgclass/analysis/surface.h"

#include <cmath>
#include <string>

#include "imgclass/core/constants.h"

namespace {
// Heights are in the unit of the pixel size; the differences span two pixels.
constexpr double D = 2.0 * double(quenz::bildfloat_pix_size);
}  // namespace

void surface::put(int x, int y) {
    constexpr int last = quenz::image_size - 2;
    if (x < 1 || x > last || y < 1 || y > last)
        throw quenz::Error("surface_put: position (x=" + std::to_string(x) +
                           ", y=" + std::to_string(y) +
                           ") needs neighbours outside the image (1 <= x, y <= 510)");
    const float* row = rb.row(y);
    double gx = (double(row[x + 1]) - double(row[x - 1])) / D;
    double gy = (double(rb.row(y + 1)[x]) - double(rb.row(y - 1)[x])) / D;
    surf += std::sqrt(1.0 + gx * gx + gy * gy);
}

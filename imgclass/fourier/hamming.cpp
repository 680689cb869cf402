// The circular Hamming window of complex images and its inverse.
#include <bit>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "imgclass/fourier/bildcomplex.h"
#include "imgclass/system/parallel.h"

namespace {

constexpr double pi = 3.141592653589793;
constexpr double gain = 2.36961606240022;

// The weight of the pixel whose squared offsets are dx2 (column) and dy2
// (row), or -1 on and outside the circle.
float weight(float dx2, float dy2, float width, float w2) {
    double rho2 = double(dx2) + double(dy2);  // the sum itself stays unrounded
    if (!(double(w2) > rho2)) return -1.0f;
    float rho = float(std::sqrt(rho2));
    double c = 0.54 + 0.46 * std::cos(pi * double(rho) / double(width));
    return float(c * c * gain);
}

// For each index, the number of its value among the distinct values (bit
// for bit), in order of first appearance: rows (and columns) at the same
// distance from the centre share their weights.
std::vector<int> distinct(const std::vector<float>& v, int* count) {
    std::unordered_map<std::uint32_t, int> seen;
    std::vector<int> id(v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        id[i] = seen.emplace(std::bit_cast<std::uint32_t>(v[i]), int(seen.size())).first->second;
    *count = int(seen.size());
    return id;
}

// Calls f(pixel, h) inside the circle; zeroes the real part on and outside it.
// A weight depends only on the two squared offsets, so each distinct pair is
// computed once (a quarter of the cosines around a whole-pixel centre); rows
// are split over the cores.
template <class F>
void each_weight(bildcomplex& img, float width, float xm, float ym, F f) {
    const int nx = img.SIZEX, ny = img.SIZEY;
    const float w2 = width * width;
    std::vector<float> dx2(nx), dy2(ny);
    for (int j = 0; j < nx; ++j) dx2[j] = (float(j) - xm) * (float(j) - xm);
    for (int i = 0; i < ny; ++i) dy2[i] = (float(i) - ym) * (float(i) - ym);
    int ncols, nrows;
    const std::vector<int> col = distinct(dx2, &ncols), row = distinct(dy2, &nrows);
    // One row of weights per distinct row offset, one per distinct column.
    std::vector<float> dx2_of(ncols), dy2_of(nrows);
    for (int j = 0; j < nx; ++j) dx2_of[col[j]] = dx2[j];
    for (int i = 0; i < ny; ++i) dy2_of[row[i]] = dy2[i];
    std::vector<float> w(std::size_t(nrows) * ncols);
    quenz::parallel_for(0, nrows, [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r)
            for (int c = 0; c < ncols; ++c)
                w[std::size_t(r) * ncols + c] = weight(dx2_of[c], dy2_of[r], width, w2);
    });
    quenz::parallel_for(0, ny, [&](int i0, int i1) {
        for (int i = i0; i < i1; ++i) {
            const float* wr = &w[std::size_t(row[i]) * ncols];
            COMPLEX* pr = img.row(i);
            for (int j = 0; j < nx; ++j) {
                float h = wr[col[j]];
                if (h < 0.0f)
                    pr[j].re = 0.0f;
                else
                    f(pr[j], h);
            }
        }
    });
}

}  // namespace

bildcomplex& bildcomplex::Hamming_window(float width, float xm, float ym) {
    each_weight(*this, width, xm, ym, [](COMPLEX& p, float h) {
        p.re *= h;
        p.im *= h;
    });
    return *this;
}

bildcomplex& bildcomplex::Hamming_unwindow(float width, float xm, float ym) {
    each_weight(*this, width, xm, ym, [](COMPLEX& p, float h) {
        p.re /= h;
        p.im /= h;
    });
    return *this;
}

// The two-dimensional FFT of complex images: double precision, one row or
// column at a time, the zero frequency moved to the middle on the way out.
#pragma once
#include <vector>

#include "imgclass/core/imgbase.h"
#include "imgclass/system/parallel.h"

namespace quenz {

enum FftDirection : int { fft_forward = 0, fft_backward = 1 };

// P(k) = sum_n a(n) e^{+2 pi i nk/N} for one power-of-two length N, by a
// decimation-in-frequency FFT: radix-8 passes, then one radix-2 or radix-4
// pass, results left in bit-reversed order.
class FftPlan {
public:
    explicit FftPlan(int n);
    int size() const { return n_; }
    // Where P(k) lies after transform(): the bit reversal of k.
    int position(int k) const { return rev_[k]; }
    // In place on `lanes` interleaved sequences: element n of sequence l is
    // re[n * lanes + l], im[n * lanes + l]. Every lane sees the same
    // operations, so a lane's result does not depend on its neighbours.
    void transform(double* re, double* im, int lanes) const;

private:
    int n_;
    std::vector<int> rev_;
    // Per radix-8 pass: for j < g, the seven twiddles e^{+2 pi i jk/(8g)}.
    struct Pass {
        int g;
        std::vector<double> wr, wi;  // [j * 7 + k - 1]
    };
    std::vector<Pass> passes_;
    int tail_radix_;  // 1 (none), 2 or 4
};

// In place on nrows rows of ncols values: every row, then every column.
// Forward is the unscaled transform with negative exponent, frequency k
// stored at (k + N/2) mod N; backward undoes that exchange first and
// scales by 1/N.
// Returns 0, or -1 after a message on standard error (a size that is not a
// power of two, no memory for the buffers); the data is then unchanged.
// Rows and columns are split over `workers` threads; the result does not
// depend on their number.
int fft_2d(COMPLEX* data, int ncols, int nrows, FftDirection dir,
           unsigned workers = worker_count());

}  // namespace quenz

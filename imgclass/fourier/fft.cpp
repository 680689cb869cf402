// Our own FFT: radix-8 decimation in frequency on complex doubles, run on a
// few sequences at once (one per vector lane) so that whole rows and
// columns move through the vector units. Each lane gets exactly the
// operations of a lone sequence, so the result is the same for any lane
// count and any split of rows over threads.
#include "imgclass/fourier/fft.h"
#include "imgclass/core/pixelloop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <optional>

namespace quenz {
namespace {

// The diagonal of the 8-point butterflies, to 15 digits.
constexpr double c8 = 0.707106781186548;
constexpr double two_pi = 6.283185307179586476925286766559;

bool power_of_two(int n) { return n > 0 && (n & (n - 1)) == 0; }

int log2_of(int n) {
    int b = 0;
    while ((1 << b) < n) ++b;
    return b;
}

// L doubles side by side; L = 1 is a plain double.
template <int L> struct Lanes {
    typedef double type __attribute__((vector_size(8 * L), aligned(8), may_alias));
};
template <> struct Lanes<1> {
    using type = double;
};

template <int L> struct Kernels {
    using V = typename Lanes<L>::type;

    static V& at(double* p, int n) { return *reinterpret_cast<V*>(p + std::size_t(n) * L); }

    // y *= (wr + i wi)
    [[gnu::always_inline]] static void twiddle(V& r, V& i, double wr, double wi) {
        V t = r * wr - i * wi;
        i = r * wi + i * wr;
        r = t;
    }

    // One radix-8 pass with span g over n elements.
    [[gnu::always_inline]] static void radix8(double* re, double* im, int n, int g, const double* wr, const double* wi) {
        for (int s = 0; s < n; s += 8 * g) {
            for (int j = 0; j < g; ++j) {
                int p0 = s + j;
                V xr[8], xi[8];
                for (int m = 0; m < 8; ++m) {
                    xr[m] = at(re, p0 + m * g);
                    xi[m] = at(im, p0 + m * g);
                }
                // First stage: sums for even outputs, rotated differences for odd.
                V ar[4], ai[4], br[4], bi[4];
                for (int m = 0; m < 4; ++m) {
                    ar[m] = xr[m] + xr[m + 4];
                    ai[m] = xi[m] + xi[m + 4];
                    br[m] = xr[m] - xr[m + 4];
                    bi[m] = xi[m] - xi[m + 4];
                }
                {  // times e^{+i pi/4}, e^{+i pi/2}, e^{+3i pi/4}
                    V r = br[1], i = bi[1];
                    br[1] = (r - i) * c8;
                    bi[1] = (r + i) * c8;
                    r = br[2];
                    br[2] = -bi[2];
                    bi[2] = r;
                    r = br[3], i = bi[3];
                    br[3] = -(r + i) * c8;
                    bi[3] = (r - i) * c8;
                }
                V yr[8], yi[8];
                dft4(ar, ai, yr[0], yi[0], yr[2], yi[2], yr[4], yi[4], yr[6], yi[6]);
                dft4(br, bi, yr[1], yi[1], yr[3], yi[3], yr[5], yi[5], yr[7], yi[7]);
                if (j > 0) {
                    const double* tr = wr + j * 7;
                    const double* ti = wi + j * 7;
                    for (int k = 1; k < 8; ++k) twiddle(yr[k], yi[k], tr[k - 1], ti[k - 1]);
                }
                // Output k goes to the 3-bit reversal of k.
                static constexpr int rev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};
                for (int k = 0; k < 8; ++k) {
                    at(re, p0 + rev3[k] * g) = yr[k];
                    at(im, p0 + rev3[k] * g) = yi[k];
                }
            }
        }
    }

    // 4-point transform with positive exponent: Y0..Y3.
    [[gnu::always_inline]] static void dft4(const V* ur, const V* ui, V& r0, V& i0, V& r1, V& i1, V& r2, V& i2, V& r3,
                     V& i3) {
        V c0r = ur[0] + ur[2], c0i = ui[0] + ui[2];
        V c1r = ur[1] + ur[3], c1i = ui[1] + ui[3];
        V d0r = ur[0] - ur[2], d0i = ui[0] - ui[2];
        V d1r = -(ui[1] - ui[3]), d1i = ur[1] - ur[3];  // (u1 - u3) * i
        r0 = c0r + c1r, i0 = c0i + c1i;
        r2 = c0r - c1r, i2 = c0i - c1i;
        r1 = d0r + d1r, i1 = d0i + d1i;
        r3 = d0r - d1r, i3 = d0i - d1i;
    }

    // The last pass over neighbours: Y0, Y2, Y1, Y3 (2-bit reversal).
    [[gnu::always_inline]] static void radix4(double* re, double* im, int n) {
        for (int s = 0; s < n; s += 4) {
            V ur[4], ui[4];
            for (int m = 0; m < 4; ++m) ur[m] = at(re, s + m), ui[m] = at(im, s + m);
            dft4(ur, ui, at(re, s), at(im, s), at(re, s + 2), at(im, s + 2), at(re, s + 1),
                 at(im, s + 1), at(re, s + 3), at(im, s + 3));
        }
    }

    [[gnu::always_inline]] static void radix2(double* re, double* im, int n) {
        for (int s = 0; s < n; s += 2) {
            V r0 = at(re, s), i0 = at(im, s), r1 = at(re, s + 1), i1 = at(im, s + 1);
            at(re, s) = r0 + r1, at(im, s) = i0 + i1;
            at(re, s + 1) = r0 - r1, at(im, s + 1) = i0 - i1;
        }
    }
};

template <int L, class P>
[[gnu::always_inline]] inline void run(double* re, double* im, int n, const std::vector<P>& passes,
                                       int tail) {
    for (const auto& p : passes) Kernels<L>::radix8(re, im, n, p.g, p.wr.data(), p.wi.data());
    if (tail == 4) Kernels<L>::radix4(re, im, n);
    if (tail == 2) Kernels<L>::radix2(re, im, n);
}

}  // namespace

FftPlan::FftPlan(int n) : n_(n), rev_(std::size_t(n)) {
    if (!power_of_two(n)) throw Error("FftPlan: length must be a power of two");
    int bits = log2_of(n);
    for (int k = 0; k < n; ++k) {
        int r = 0;
        for (int b = 0; b < bits; ++b) r |= ((k >> b) & 1) << (bits - 1 - b);
        rev_[k] = r;
    }
    for (int g = n / 8; g >= 1 && bits >= 3; g /= 8, bits -= 3) {
        Pass p{g, std::vector<double>(std::size_t(g) * 7), std::vector<double>(std::size_t(g) * 7)};
        for (int j = 0; j < g; ++j)
            for (int k = 1; k < 8; ++k) {
                double a = two_pi * double(j * k) / double(8 * g);
                p.wr[j * 7 + k - 1] = std::cos(a);
                p.wi[j * 7 + k - 1] = std::sin(a);
            }
        passes_.push_back(std::move(p));
    }
    tail_radix_ = bits == 2 ? 4 : bits == 1 ? 2 : 1;
}

// Compiled for AVX2 too (picked at run time); either way each lane does the
// same IEEE operations in the same order.
QUENZ_AVX2_CLONES void FftPlan::transform(double* re, double* im, int lanes) const {
    switch (lanes) {
        case 1: return run<1>(re, im, n_, passes_, tail_radix_);
        case 2: return run<2>(re, im, n_, passes_, tail_radix_);
        case 4: return run<4>(re, im, n_, passes_, tail_radix_);
        case 8: return run<8>(re, im, n_, passes_, tail_radix_);
        default: throw Error("FftPlan: lanes must be 1, 2, 4 or 8");
    }
}

namespace {

// Moves `lanes` strided sequences of COMPLEX (sequence l starts at
// base + l * seq_step, elements elem_step apart) into and out of the lane
// buffers, with the conjugations, the half exchange and the scaling of each
// direction. Element-major order keeps neighbouring columns in one cache line.
struct Mover {
    const FftPlan& plan;
    FftDirection dir;

    void load(const COMPLEX* base, std::ptrdiff_t seq_step, std::ptrdiff_t elem_step,
              double* re, double* im, int lanes) const {
        int n = plan.size(), half = n / 2;
        for (int k = 0; k < n; ++k) {
            // Backward: exchange the halves first (centred -> natural order).
            int from = dir == fft_forward ? k : (k + half) & (n - 1);
            const COMPLEX* c = base + from * elem_step;
            for (int l = 0; l < lanes; ++l) {
                re[std::size_t(k) * lanes + l] = double(c[l * seq_step].re);
                double v = double(c[l * seq_step].im);
                im[std::size_t(k) * lanes + l] = dir == fft_forward ? -v : v;
            }
        }
    }

    void store(COMPLEX* base, std::ptrdiff_t seq_step, std::ptrdiff_t elem_step,
               const double* re, const double* im, int lanes) const {
        int n = plan.size(), half = n / 2;
        double scale = 1.0 / double(n);
        for (int k = 0; k < n; ++k) {
            std::size_t p = std::size_t(plan.position(k)) * lanes;
            if (dir == fft_forward) {
                // Conjugate back while moving frequency k to (k + N/2) mod N.
                COMPLEX* c = base + ((k + half) & (n - 1)) * elem_step;
                for (int l = 0; l < lanes; ++l)
                    c[l * seq_step] = {float(re[p + l]), float(-im[p + l])};
            } else {
                COMPLEX* c = base + k * elem_step;
                for (int l = 0; l < lanes; ++l)
                    c[l * seq_step] = {float(re[p + l] * scale), float(im[p + l] * scale)};
            }
        }
    }
};

constexpr int block_lanes = 4;

// Transforms `count` sequences of one length: sequence s starts at
// data + s * seq_step, its elements elem_step apart.
void transform_all(COMPLEX* data, int count, std::ptrdiff_t seq_step, std::ptrdiff_t elem_step,
                   const FftPlan& plan, FftDirection dir, std::vector<std::vector<double>>& bufs) {
    Mover mv{plan, dir};
    int n = plan.size();
    int slots = int(bufs.size());
    int blocks = (count + block_lanes - 1) / block_lanes;
    parallel_for(
        0, slots,
        [&](int lo, int hi) {
            for (int w = lo; w < hi; ++w) {
                double* re = bufs[w].data();
                double* im = re + std::size_t(n) * block_lanes;
                for (int b = blocks * w / slots; b < blocks * (w + 1) / slots; ++b) {
                    int first = b * block_lanes;
                    int lanes = std::min(block_lanes, count - first);
                    if (lanes != block_lanes) lanes = 1;  // a short tail: one at a time
                    for (int s = first; s < std::min(first + block_lanes, count); s += lanes) {
                        COMPLEX* base = data + s * seq_step;
                        mv.load(base, seq_step, elem_step, re, im, lanes);
                        plan.transform(re, im, lanes);
                        mv.store(base, seq_step, elem_step, re, im, lanes);
                    }
                }
            }
        },
        1);
}

}  // namespace

int fft_2d(COMPLEX* data, int ncols, int nrows, FftDirection dir, unsigned workers) {
    if (!power_of_two(ncols) || !power_of_two(nrows)) {
        std::fputs("fft: input array must have dimensions a power of 2", stderr);
        return -1;
    }
    int slots = int(std::clamp(workers, 1u, 64u));
    std::optional<FftPlan> rows_plan, cols_plan;
    std::vector<std::vector<double>> bufs;
    try {
        if (ncols > 1) rows_plan.emplace(ncols);
        if (nrows > 1) cols_plan.emplace(nrows);
        bufs.resize(std::size_t(slots));
        for (auto& b : bufs) b.resize(std::size_t(std::max(ncols, nrows)) * 2 * block_lanes);
    } catch (const std::bad_alloc&) {
        std::fputs("Insufficient storage for fft buffers", stderr);
        return -1;
    }
    if (rows_plan) transform_all(data, nrows, ncols, 1, *rows_plan, dir, bufs);
    if (cols_plan) transform_all(data, ncols, 1, ncols, *cols_plan, dir, bufs);
    return 0;
}

}  // namespace quenz

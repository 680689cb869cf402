// The per-pixel polynomial fit, its file, and the evaluation of one pixel.
#include "qrfit.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "parallel.h"
#include "qr.h"

namespace {

constexpr int N = quenz::image_size;
constexpr std::size_t npix = bildfloat_base::npixels();
constexpr char magic[6] = {'Q', 'R', 'f', 'i', 't', '\0'};

std::uint32_t swap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}

// Little-endian floats, converted in blocks so a file is a few large writes.
void write_floats(std::ostream& f, const std::vector<float>& v) {
    if constexpr (std::endian::native == std::endian::little) {
        f.write(reinterpret_cast<const char*>(v.data()), std::streamsize(v.size() * 4));
    } else {
        std::vector<std::uint32_t> buf;
        for (std::size_t i = 0; i < v.size(); i += 65536) {
            std::size_t n = std::min<std::size_t>(65536, v.size() - i);
            buf.resize(n);
            for (std::size_t k = 0; k < n; ++k)
                buf[k] = swap32(std::bit_cast<std::uint32_t>(v[i + k]));
            f.write(reinterpret_cast<const char*>(buf.data()), std::streamsize(n * 4));
        }
    }
}

bool read_floats(std::istream& f, std::vector<float>& v) {
    if (!f.read(reinterpret_cast<char*>(v.data()), std::streamsize(v.size() * 4))) return false;
    if constexpr (std::endian::native != std::endian::little)
        for (float& x : v) x = std::bit_cast<float>(swap32(std::bit_cast<std::uint32_t>(x)));
    return true;
}

}  // namespace

QRfit::QRfit(std::span<const bild16_base* const> refbilder, std::span<const float> refw,
             int nrefimg, int order) {
    auto too_few = [&](const char* what, std::size_t have) {
        return quenz::Error(std::string("QRfit: ") + what + " has " + std::to_string(have) +
                            " elements, fewer than nrefimg = " + std::to_string(nrefimg));
    };
    if (nrefimg > 0 && refbilder.size() < std::size_t(nrefimg))
        throw too_few("refbilder ('bild16 *')", refbilder.size());
    if (nrefimg > 0 && refw.size() < std::size_t(nrefimg))
        throw too_few("refw ('float *')", refw.size());
    if (order < 1)
        throw quenz::Error("QRfit: order_ must be at least 1, not " + std::to_string(order));
    quenz::qr_check_shape(nrefimg, order);  // also refuses nrefimg < 1
    for (int j = 0; j < nrefimg; ++j)
        if (!refbilder[j]) throw quenz::Error("QRfit: refbilder[" + std::to_string(j) + "] is null");
    nrefimg_ = nrefimg;
    order_ = order;
    refw_.assign(refw.begin(), refw.begin() + nrefimg);
    coeff_.assign(npix * std::size_t(order), 0.0f);
    fit(refbilder);
}

QRfit::QRfit(const char* fname) { read(fname); }

void QRfit::fit(std::span<const bild16_base* const> refbilder) {
    const int m = nrefimg_, n = order_;
    // Console output is collected per row and printed in row order after
    // the parallel fit, so it reads exactly as a serial run would write it.
    std::vector<std::string> err(N);
    std::string out;            // the coefficient line of pixel (100, 100)
    std::size_t out_after = 0;  // ... printed after this much of row 100's output
    quenz::parallel_for(0, N, [&](int lo, int hi) {
        // Work storage, once per worker.
        quenz::Matrix design(m, n);
        std::vector<double> diag(n), rhs(m), sol(n);
        std::vector<const unsigned short*> src(m);
        for (int y = lo; y < hi; ++y) {
            std::string& log = err[y];
            for (int j = 0; j < m; ++j) src[j] = refbilder[j]->rows[y];
            for (int x = 0; x < N; ++x) {
                for (int j = 0; j < m; ++j) {
                    double v = src[j][x] / 65535.0;
                    double* row = design[j];
                    row[0] = 1.0;
                    for (int k = 1; k < n; ++k) row[k] = row[k - 1] * v;
                    rhs[j] = refw_[j];
                }
                if (!quenz::Householder_QR(m, n, design.rows(), diag.data(), rhs.data(), 1e-10,
                                           &log)) {
                    quenz::Backsubst_R(n, design.rows(), diag.data(), rhs.data(), sol.data());
                } else {
                    // Rank-deficient (only possible from the second column on,
                    // so n >= 2): a straight line through the first and last
                    // reference values, in the precision of refw.
                    log += '.';
                    std::fill(sol.begin(), sol.end(), 0.0);
                    float r0 = refw_[0], rl = refw_[m - 1];
                    if (rl != r0) {
                        sol[0] = -r0 / (rl - r0);
                        sol[1] = 1 / (rl - r0);
                    } else {
                        log += ':';
                        sol[0] = 0.0;
                        sol[1] = 1.0;
                    }
                }
                float* c = &coeff_[(std::size_t(y) * N + x) * n];
                for (int k = 0; k < n; ++k) c[k] = float(sol[k]);
                if (y == 100 && x == 100) {
                    std::ostringstream os;
                    for (int k = 0; k < n; ++k) os << sol[k] << "  ";
                    os << '\n';
                    out = os.str();
                    out_after = log.size();
                }
            }
        }
    });
    for (int y = 0; y < N; ++y) {
        if (y == 100) {
            std::cerr << std::string_view(err[y]).substr(0, out_after) << std::flush;
            std::cout << out << std::flush;
            std::cerr << std::string_view(err[y]).substr(out_after);
        } else if (!err[y].empty()) {
            std::cerr << err[y];
        }
    }
    std::cerr << std::flush;
}

void QRfit::write(const char* fname) const {
    if (nrefimg_ > max_count || order_ > max_count)
        throw quenz::Error(std::string(fname) + ": a QRfit file holds at most " +
                           std::to_string(max_count) + " reference values and coefficients, not " +
                           std::to_string(nrefimg_) + " and " + std::to_string(order_));
    std::ofstream f(fname, std::ios::binary | std::ios::trunc);
    if (f) {
        f.write(magic, sizeof magic);
        const char counts[2] = {char(nrefimg_), char(order_)};
        f.write(counts, 2);
        write_floats(f, refw_);
        write_floats(f, coeff_);
        f.close();
    }
    if (!f) throw quenz::Error(std::string("Cannot write to ") + fname);
}

void QRfit::read(const char* fname) {
    std::ifstream f(fname, std::ios::binary);
    if (!f) throw quenz::Error(std::string(fname) + " not found.");
    char head[6];
    if (!f.read(head, sizeof head) || std::memcmp(head, magic, sizeof magic) != 0)
        throw quenz::Error(std::string(fname) + " is not a QRfit file");
    signed char counts[2];
    if (!f.read(reinterpret_cast<char*>(counts), 2))
        throw quenz::Error(std::string(fname) + " is a truncated QRfit file");
    int nref = counts[0], order = counts[1];
    if (nref < 0 || order < 1)
        throw quenz::Error(std::string(fname) + " has invalid counts for a QRfit file (nrefimg = " +
                           std::to_string(nref) + ", order = " + std::to_string(order) + ")");
    // Into temporaries first: a failed read leaves this object as it was.
    std::vector<float> refw(std::size_t(nref), 0.0f);
    std::vector<float> coeff(npix * std::size_t(order), 0.0f);
    if (!read_floats(f, refw) || !read_floats(f, coeff))
        throw quenz::Error(std::string(fname) + " is a truncated QRfit file");
    nrefimg_ = nref;
    order_ = order;
    refw_.swap(refw);
    coeff_.swap(coeff);
}

float QRfit::apply(int y, int x, float val) const {
    bildfloat_base::check_yx("QRfit_apply", y, x);
    return eval(&coeff_[(std::size_t(y) * N + x) * order_], order_, val);
}

float QRfit::get_coeff(int x, int y, int n) const {
    if (n < 0 || n >= order_) throw quenz::Error("Index must be positive and < " + std::to_string(order_));
    bildfloat_base::check_yx("QRfit_get_coeff", y, x);
    return coeff_[(std::size_t(y) * N + x) * order_ + n];
}

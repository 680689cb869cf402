// The per-pixel polynomial fit, its file, and the evaluation of one pixel.
#include "imgclass/fit/qrfit.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <sstream>

#include "imgclass/system/fileio.h"
#include "imgclass/system/parallel.h"
#include "imgclass/fit/qr.h"
#include "imgclass/fit/qr_lanes.h"

namespace {

constexpr int N = quenz::image_size;
constexpr std::size_t npix = bildfloat_base::npixels();
constexpr char magic[6] = {'Q', 'R', 'f', 'i', 't', '\0'};
constexpr std::size_t header_size = 8;  // magic, nrefimg, order

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
    account_.resize(coeff_.size() * sizeof(float));
    fit(refbilder);
}

QRfit::QRfit(const char* fname) { read(fname); }

void QRfit::fit(std::span<const bild16_base* const> refbilder) {
    const int m = nrefimg_, n = order_;
    constexpr double eps = 1e-10;
    // Console output is collected per row and printed in row order after
    // the parallel fit, so it reads exactly as a serial run would write it.
    std::vector<std::string> err(N);
    std::string out;            // the coefficient line of pixel (100, 100)
    std::size_t out_after = 0;  // ... printed after this much of row 100's output
    quenz::parallel_for(0, N, [&](int lo, int hi) {
        // Work storage, once per worker.
        quenz::Matrix design(m, n);
        quenz::LaneFit lanes(m, n);
        std::vector<double> diag(n), rhs(m), sol(n);
        std::vector<const unsigned short*> src(m);
        for (int y = lo; y < hi; ++y) {
            std::string& log = err[y];
            auto store = [&](int x) {
                float* c = &coeff_[(std::size_t(y) * N + x) * n];
                for (int k = 0; k < n; ++k) c[k] = float(sol[k]);
                if (y == 100 && x == 100) {
                    std::ostringstream os;
                    for (int k = 0; k < n; ++k) os << sol[k] << "  ";
                    os << '\n';
                    out = os.str();
                    out_after = log.size();
                }
            };
            // One pixel alone, with the solver's messages and the fallback.
            auto fit_one = [&](int x) {
                for (int j = 0; j < m; ++j) {
                    double v = src[j][x] / 65535.0;
                    double* row = design[j];
                    row[0] = 1.0;
                    for (int k = 1; k < n; ++k) row[k] = row[k - 1] * v;
                    rhs[j] = refw_[j];
                }
                if (!quenz::Householder_QR(m, n, design.rows(), diag.data(), rhs.data(), eps, &log)) {
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
                store(x);
            };
            for (int j = 0; j < m; ++j) src[j] = refbilder[j]->row(y);
            constexpr int W = quenz::LaneFit::lanes;
            static_assert(N % W == 0);
            for (int x0 = 0; x0 < N; x0 += W) {
                if (lanes.fit(src.data(), x0, refw_.data(), eps)) {
                    for (int l = 0; l < W; ++l) {
                        for (int k = 0; k < n; ++k) sol[k] = lanes.coeff(k, l);
                        store(x0 + l);
                    }
                } else {
                    for (int x = x0; x < x0 + W; ++x) fit_one(x);
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
    std::vector<unsigned char> buf(header_size + 4 * (refw_.size() + coeff_.size()));
    std::memcpy(buf.data(), magic, sizeof magic);
    buf[6] = (unsigned char)nrefimg_;
    buf[7] = (unsigned char)order_;
    unsigned char* p = buf.data() + header_size;
    quenz::pack_le(p, refw_.data(), refw_.size());
    quenz::pack_le(p + 4 * refw_.size(), coeff_.data(), coeff_.size());
    quenz::write_file(fname, buf.data(), buf.size());
}

void QRfit::read(const char* fname) {
    // The header first, then exactly what its counts announce: at most
    // 8 + 4 * 127 + 4 * 262144 * 127 bytes, whatever the file (a device or
    // a pipe without end included) holds beyond that.
    quenz::FileReader in(fname);
    std::vector<unsigned char> buf;
    if (!in || !in.read_to(buf, header_size)) quenz::cannot_open(fname, quenz::Unopened::dot);
    if (buf.size() < sizeof magic || std::memcmp(buf.data(), magic, sizeof magic) != 0)
        throw quenz::Error(std::string(fname) + " is not a QRfit file");
    auto truncated = [&] { return quenz::Error(std::string(fname) + " is a truncated QRfit file"); };
    if (buf.size() < header_size) throw truncated();
    // The counts are signed bytes.
    int nref = (signed char)buf[6], order = (signed char)buf[7];
    if (nref < 0 || order < 1)
        throw quenz::Error(std::string(fname) + " has invalid counts for a QRfit file (nrefimg = " +
                           std::to_string(nref) + ", order = " + std::to_string(order) + ")");
    std::size_t nc = npix * std::size_t(order);
    std::size_t size = header_size + 4 * (std::size_t(nref) + nc);
    if (!in.read_to(buf, size)) quenz::cannot_open(fname, quenz::Unopened::dot);
    if (buf.size() < size) throw truncated();
    // Nothing changes unless the whole file is there. (A file without
    // reference values is read too: it still corrects images.)
    const unsigned char* p = buf.data() + header_size;
    std::vector<float> refw(static_cast<std::size_t>(nref)), coeff(nc);
    quenz::unpack_le(refw.data(), p, refw.size());
    quenz::unpack_le(coeff.data(), p + 4 * refw.size(), nc);
    nrefimg_ = nref;
    order_ = order;
    refw_.swap(refw);
    coeff_.swap(coeff);
    std::vector<float>().swap(coeff);  // the old coefficients go before they are counted out
    account_.resize(coeff_.size() * sizeof(float));
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

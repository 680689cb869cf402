// Prints one checksum per operation of its output on fixed, awkward inputs
// (every count, random float bit patterns with NaN, infinities, zeros and
// tiny values). Built before and after a speed-up, the two listings must be
// identical: `quenz_checksums > before.txt` ... `diff before.txt after.txt`.
// `make test-isa` compares the widest clones with plain x86-64 code this way,
// NaN payloads made canonical (--canonical-nan).
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include <memory>

#include "imgclass/core/bild16.h"
#include "imgclass/fourier/bildcomplex.h"
#include "imgclass/core/bildfloat.h"
#include "render/render.h"
#include "imgclass/fit/qrfit.h"
#include "imgclass/analysis/stats.h"
#include "imgclass/curves/expkurve.h"

namespace {

using u16 = unsigned short;

std::uint64_t fnv(const void* p, std::size_t n, std::uint64_t h = 1469598103934665603ull) {
    auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    return h;
}
// With --canonical-nan every float NaN is hashed as one bit pattern: the
// payload and sign of a NaN result are the one thing that may differ between
// instruction sets (x86 keeps the first operand's NaN, and the clones may
// order an addition's operands differently).
bool canonical_nan = false;

std::uint64_t fnv_floats(const float* p, std::size_t n) {
    if (!canonical_nan) return fnv(p, n * sizeof(float));
    std::vector<float> v(p, p + n);
    for (float& x : v)
        if (std::isnan(x)) x = std::bit_cast<float>(std::uint32_t(0x7fc00000));
    return fnv(v.data(), n * sizeof(float));
}

template <class Img> std::uint64_t hash(const Img& img) {
    using T = typename Img::data_t;
    if constexpr (sizeof(T) % sizeof(float) == 0 && !std::is_integral_v<T>)
        return fnv_floats(reinterpret_cast<const float*>(img.data()), img.npixels() * sizeof(T) / sizeof(float));
    return fnv(img.data(), img.npixels() * sizeof(T));
}

struct Inputs {
    bild16 a, b, z;  // every count; random counts; random with zeros
    bildfloat f, g;  // random bit patterns; values in [-0.2, 1.2] with zeros
    bildcomplex c;   // g + i f
    Inputs() {
        std::mt19937 rng(1234);
        std::uniform_real_distribution<float> unit(-0.2f, 1.2f);
        for (std::size_t i = 0; i < bild16::npixels(); ++i) {
            a.data()[i] = u16(i);
            b.data()[i] = u16(rng());
            z.data()[i] = u16(i % 11 == 0 ? 0 : rng() % 300);
            f.data()[i] = std::bit_cast<float>(std::uint32_t(rng()));
            g.data()[i] = i % 13 == 0 ? 0.0f : unit(rng);
        }
        c = bildcomplex(g, f);
    }
};

using Op = std::function<std::uint64_t(const Inputs&)>;

template <class Img, class F> Op in_place(const Img Inputs::*start, F f) {
    return [=](const Inputs& in) {
        Img img(in.*start);
        f(img, in);
        return hash(img);
    };
}

template <class F> Op render(F f) {
    return [=](const Inputs& in) {
        quenz::render_buffer out;
        f(in, out);
        return fnv(out.data(), std::size_t(out.width) * out.height);
    };
}

// The per-pixel fit of the reference images, its console output silenced.
QRfit quiet_fit(const Inputs& in, const std::vector<const bild16 Inputs::*>& refs, int order) {
    std::vector<const bild16_base*> r;
    for (auto ref : refs) r.push_back(&(in.*ref));
    std::vector<float> w;
    for (std::size_t j = 0; j < r.size(); ++j) w.push_back(0.1f + 0.8f * float(j * j) / 16.0f);
    std::streambuf *out = std::cout.rdbuf(nullptr), *err = std::cerr.rdbuf(nullptr);
    QRfit q(r, w, int(r.size()), order);
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
    return q;
}

// The fit's coefficients.
Op fit(std::vector<const bild16 Inputs::*> refs, int order) {
    return [=](const Inputs& in) {
        const QRfit q = quiet_fit(in, refs, order);
        return fnv_floats(q.coefficients(), bild16::npixels() * std::size_t(order));
    };
}

// An image through the per-pixel polynomials of such a fit.
Op corrected(std::vector<const bild16 Inputs::*> refs, int order, const bildfloat Inputs::*img) {
    return [=](const Inputs& in) {
        const QRfit q = quiet_fit(in, refs, order);
        bildfloat x(in.*img);
        x.polyfit_correct(q);
        return hash(x);
    };
}

const expkurve& curve() {
    static const expkurve c(60000, 0.5, 0.05, 2.0, 0.3, 0.3);
    return c;
}

// imgstats' eight numbers (over the image and over a rectangle) as doubles.
template <class Img> Op stats_of(const Img Inputs::*img) {
    return [=](const Inputs& in) {
        std::vector<double> d;
        for (auto r : {quenz::rect::whole(), quenz::checked_rect("t", 3, 5, 200, 301)}) {
            auto s = quenz::imgstats(in.*img, r);
            d.insert(d.end(), {double(s.n), double(s.min), double(s.max), s.sum, s.mean, s.std, s.median, double(s.nan)});
        }
        for (double& x : d)
            if (canonical_nan && std::isnan(x)) x = std::bit_cast<double>(std::uint64_t(0x7ff8000000000000));
        return fnv(d.data(), d.size() * sizeof(double));
    };
}

std::vector<float> kernel(int size) {
    std::vector<float> k;
    for (int i = 0; i < size * size; ++i) k.push_back(1.0f + float((3 * i) % 7) / 7.0f - (i == 4 ? 2.5f : 0.0f));
    return k;
}

const std::vector<std::pair<std::string, Op>>& operations() {
    using I = Inputs;
    static const std::vector<std::pair<std::string, Op>> ops = {
        {"b16_add_img", in_place(&I::a, [](bild16& x, const I& in) { x += in.b; })},
        {"b16_add_val", in_place(&I::a, [](bild16& x, const I&) { x += 40000; })},
        {"b16_sub_img", in_place(&I::a, [](bild16& x, const I& in) { x -= in.b; })},
        {"b16_sub_val", in_place(&I::a, [](bild16& x, const I&) { x -= 7; })},
        {"b16_mul_img", in_place(&I::a, [](bild16& x, const I& in) { x *= in.b; })},
        {"b16_mul_val", in_place(&I::a, [](bild16& x, const I&) { x *= 65535; })},
        {"b16_div_img", in_place(&I::b, [](bild16& x, const I& in) { x /= in.z; })},
        {"b16_div_self", in_place(&I::z, [](bild16& x, const I&) { x /= x; })},
        {"b16_div_val", in_place(&I::a, [](bild16& x, const I&) { x /= 7; })},
        {"f_add_img", in_place(&I::f, [](bildfloat& x, const I& in) { x += in.g; })},
        {"f_sub_img", in_place(&I::g, [](bildfloat& x, const I& in) { x -= in.f; })},
        {"f_mul_img", in_place(&I::f, [](bildfloat& x, const I& in) { x *= in.g; })},
        {"f_div_img", in_place(&I::f, [](bildfloat& x, const I& in) { x /= in.g; })},
        {"f_div_self", in_place(&I::g, [](bildfloat& x, const I&) { x /= x; })},
        {"f_add_val", in_place(&I::g, [](bildfloat& x, const I&) { x += 0.1f; })},
        {"f_mul_val", in_place(&I::g, [](bildfloat& x, const I&) { x *= 3.3f; })},
        {"f_div_val", in_place(&I::f, [](bildfloat& x, const I&) { x /= 0.7f; })},
        {"conv_from_bild16", in_place(&I::f, [](bildfloat& x, const I& in) { x.from_bild16(in.a); })},
        {"conv_fromfloat_1", in_place(&I::a, [](bild16& x, const I& in) { x.fromfloat(in.g); })},
        {"conv_fromfloat_3", in_place(&I::a, [](bild16& x, const I& in) { x.fromfloat(in.g, 3.0f); })},
        {"conv_fromfloat_bits", in_place(&I::a, [](bild16& x, const I& in) { x.fromfloat(in.f, 0.7f); })},
        {"conv_roundtrip", in_place(&I::b, [](bild16& x, const I& in) { x.fromfloat(bildfloat(in.a)); })},
        {"render_float_01", render([](const I& in, quenz::render_buffer& o) { quenz::render_contrast(in.g, 0.0f, 1.0f, o); })},
        {"render_float_bits", render([](const I& in, quenz::render_buffer& o) { quenz::render_contrast(in.f, -3.0f, 7.5f, o); })},
        {"render_float_inv", render([](const I& in, quenz::render_buffer& o) { quenz::render_contrast(in.g, 0.9f, 0.1f, o); })},
        {"render_counts", render([](const I& in, quenz::render_buffer& o) { quenz::render_contrast(in.a, 100, 60000, o); })},
        {"render_counts_2k", render([](const I& in, quenz::render_buffer& o) { quenz::render_contrast(in.b, 0, 65536, o); })},
        {"convolve_3", in_place(&I::g, [](bildfloat& x, const I&) { x = *std::unique_ptr<bildfloat>(x.convolve(kernel(3), 3, 3)); })},
        {"convolve_5", in_place(&I::f, [](bildfloat& x, const I&) { x = *std::unique_ptr<bildfloat>(x.convolve(kernel(5), 5, 5)); })},
        {"convolve_21", in_place(&I::g, [](bildfloat& x, const I&) { x = *std::unique_ptr<bildfloat>(x.convolve_unnorm(kernel(21), 21, 21)); })},
        {"gaussian_2.7", in_place(&I::g, [](bildfloat& x, const I&) { x.gaussian(2.7f); })},
        {"hamming", in_place(&I::c, [](bildcomplex& x, const I&) { x.Hamming_window(); })},
        {"hamming_off", in_place(&I::c, [](bildcomplex& x, const I&) { x.Hamming_window(50.5f, 100.5f, 300.25f); })},
        {"hamming_wide", in_place(&I::c, [](bildcomplex& x, const I&) { x.Hamming_window(900.0f, 10.0f, 511.0f); })},
        {"hamming_nan", in_place(&I::c, [](bildcomplex& x, const I&) { x.Hamming_window(220.0f, NAN, 256.0f); })},
        {"qrfit_3_2", fit({&I::a, &I::b, &I::z}, 2)},
        {"qrfit_5_4", fit({&I::a, &I::b, &I::z, &I::b, &I::a}, 4)},
        {"polyfit_correct_3", corrected({&I::a, &I::b, &I::z}, 3, &I::g)},
        {"polyfit_correct_bits", corrected({&I::a, &I::b, &I::z, &I::b}, 3, &I::f)},
        {"polyfit_correct_5", corrected({&I::a, &I::b, &I::z, &I::b, &I::a}, 5, &I::g)},
        {"polyfit_correct_6", corrected({&I::a, &I::b, &I::z, &I::b, &I::a, &I::z}, 6, &I::g)},
        {"apply_eichkurve", in_place(&I::g, [](bildfloat& x, const I&) { x.apply_eichkurve(curve()); })},
        {"apply_eichkurve_bits", in_place(&I::f, [](bildfloat& x, const I&) { x.apply_eichkurve(curve()); })},
        {"imgstats_b16", stats_of(&I::b)},
        {"imgstats_bits", stats_of(&I::f)},
        {"imgstats_float", stats_of(&I::g)},
        {"unwindow", in_place(&I::c, [](bildcomplex& x, const I&) { x.Hamming_unwindow(-120.0f, 256.0f, 255.5f); })},
    };
    return ops;
}

}  // namespace

int main(int argc, char** argv) {
    canonical_nan = argc > 1 && std::string(argv[1]) == "--canonical-nan";
    Inputs in;
    for (auto& [key, op] : operations()) std::printf("%-24s %016llx\n", key.c_str(), (unsigned long long)op(in));
}

// The per-pixel polynomial fit from five reference exposures, the
// correction of an image with it, and a paraboloid fit over 100 points.
#include <ostream>
#include <streambuf>

#include "common.h"
#include "imgclass/analysis/parabelzentrum.h"
#include "imgclass/fit/qrfit.h"

namespace {
std::vector<const bild16_base*> refs() {
    std::vector<const bild16_base*> r;
    for (int j = 0; j < 5; ++j) r.push_back(&bench::counts(("ref" + std::to_string(j) + ".his").c_str()));
    return r;
}
}  // namespace

// (The fit prints one coefficient line to standard output, as it should.)
static void qrfit(benchmark::State& st, int order) {
    auto r = refs();
    std::vector<float> w = bench::numbers("refw.txt");
    for (auto _ : st) {
        QRfit q(r, w, 5, order);
        benchmark::DoNotOptimize(q.coefficients());
    }
}
BENCHMARK_CAPTURE(qrfit, 2, 2)->Name("qrfit_order2")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(qrfit, 4, 4)->Name("qrfit_order4")->UseRealTime()->Unit(benchmark::kMicrosecond);

static void polyfit_correct(benchmark::State& st) {
    auto r = refs();
    std::vector<float> w = bench::numbers("refw.txt");
    QRfit q(r, w, 5, 4);
    bildfloat f(bench::floats("ref2.his"));
    for (auto _ : st) {
        f.polyfit_correct(q);  // values stay in 0..1, so every pass does the same work
        benchmark::DoNotOptimize(f.data());
    }
}
QBENCH(polyfit_correct);

// A peak of the data's first image: 10 x 10 pixels around (256, 256).
static void parabel_fit(benchmark::State& st) {
    const bildfloat& f = bench::floats("a.his");
    Parabelzentrum p(f, 100);
    for (auto _ : st) {
        p.clear();
        p.estimate(256.0, 256.0);
        for (int y = 251; y < 261; ++y)
            for (int x = 251; x < 261; ++x) p.put(x, y);
        benchmark::DoNotOptimize(p.fit());
    }
}
QBENCH(parabel_fit);

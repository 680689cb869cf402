// Surface area over the whole interior and one Voronoi cross-section.
#include <ostream>
#include <streambuf>

#include "common.h"
#include "imgclass/analysis/surface.h"
#include "imgclass/analysis/voronoi.h"

static void surface_put(benchmark::State& st) {
    const bildfloat& f = bench::floats("a.his");
    for (auto _ : st) {
        surface s(f);
        for (int y = 1; y <= 510; ++y)
            for (int x = 1; x <= 510; ++x) s.put(x, y);
        benchmark::DoNotOptimize(s.get());
    }
}
QBENCH(surface_put);

namespace {
struct Discard : std::streambuf {
    int overflow(int c) override { return c; }
};
}  // namespace

static void compute_schnitt(benchmark::State& st) {
    bildfloat f(bench::floats("a.his"));
    Discard sink;
    std::ostream none(&sink);
    std::string cells = bench::data("cells.txt");
    Voronoischnitt v(f, 256.0f, 256.0f, cells.c_str(), none);
    for (auto _ : st) v.compute_schnitt(1, none, none);
}
QBENCH(compute_schnitt);

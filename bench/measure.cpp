// The measurements (statistics, histograms) and the bulk pixel transfer
// (the byte arrays of data/setdata, without the Tcl object around them).
#include <vector>

#include "common.h"
#include "imgclass/core/pixeldata.h"
#include "imgclass/analysis/stats.h"

static void imgstats_b16(benchmark::State& st) {
    const bild16& a = bench::counts("a.his");
    for (auto _ : st) benchmark::DoNotOptimize(quenz::imgstats(a));
}
QBENCH(imgstats_b16);

static void imgstats_f(benchmark::State& st) {
    const bildfloat& fa = bench::floats("a.his");
    for (auto _ : st) benchmark::DoNotOptimize(quenz::imgstats(fa));
}
QBENCH(imgstats_f);

static void histogram_b16(benchmark::State& st) {
    const bild16& a = bench::counts("a.his");
    const quenz::bin_rule rule("histogram", 1000, 0.0, 65536.0);
    for (auto _ : st) benchmark::DoNotOptimize(quenz::histogram(a, rule));
}
QBENCH(histogram_b16);

static void histogram_f(benchmark::State& st) {
    const bildfloat& fa = bench::floats("a.his");
    const quenz::bin_rule rule("histogram", 1000, 0.0, 1.0);
    for (auto _ : st) benchmark::DoNotOptimize(quenz::histogram(fa, rule));
}
QBENCH(histogram_f);

template <class Img> static void data_out(benchmark::State& st, const Img& img) {
    std::vector<unsigned char> out(quenz::image_bytes<typename Img::data_t>);
    for (auto _ : st) {
        quenz::to_bytes(img, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
template <class Img> static void data_in(benchmark::State& st, const Img& start) {
    Img img(start);
    std::vector<unsigned char> in(quenz::image_bytes<typename Img::data_t>);
    quenz::to_bytes(start, in.data());
    for (auto _ : st) {
        quenz::from_bytes(img, in.data(), in.size(), "setdata");
        benchmark::DoNotOptimize(img.data());
        benchmark::ClobberMemory();
    }
}
static void data_b16(benchmark::State& st) { data_out(st, bench::counts("a.his")); }
static void setdata_b16(benchmark::State& st) { data_in(st, bench::counts("a.his")); }
static void data_f(benchmark::State& st) { data_out(st, bench::floats("a.his")); }
static void setdata_f(benchmark::State& st) { data_in(st, bench::floats("a.his")); }
QBENCH(data_b16);
QBENCH(setdata_b16);
QBENCH(data_f);
QBENCH(setdata_f);

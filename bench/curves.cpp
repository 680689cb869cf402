// Calibration curves: building the inverse table (65536 inversions) and
// mapping a whole image through it.
#include "common.h"
#include "imgclass/curves/exp4kurve.h"
#include "imgclass/curves/expkurve.h"

static void expkurve_table(benchmark::State& st) {
    for (auto _ : st) {
        expkurve k(60000, 0.5, 0.05, 2.0, 0.3, 0.3);
        benchmark::DoNotOptimize(k.apply(100));
    }
}
QBENCH(expkurve_table);

static void exp4kurve_table(benchmark::State& st) {
    for (auto _ : st) {
        exp4kurve k(60000, 0.3, 0.3, 0.2, 2.0, 0.5, 0.1, 0.02);
        benchmark::DoNotOptimize(k.apply(100));
    }
}
QBENCH(exp4kurve_table);

// Each pass maps fresh counts (a copy first, as the values change); the
// copy's own cost is the memcpy floor.
static void apply_eichkurve(benchmark::State& st) {
    expkurve k(60000, 0.5, 0.05, 2.0, 0.3, 0.3);
    const bildfloat& counts = bench::floats("a.his");
    bildfloat f;
    for (auto _ : st) {
        f = counts;
        f.apply_eichkurve(k);
        benchmark::DoNotOptimize(f.data());
    }
}
QBENCH(apply_eichkurve);

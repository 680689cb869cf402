// Whole-file writes and reads of the image formats (into the page cache:
// the cost our code adds, as numpy's tofile/fromfile do in the peers).
#include "common.h"

static void his_write(benchmark::State& st) {
    const bild16& a = bench::counts("a.his");
    std::string f = bench::scratch("w.his");
    for (auto _ : st) a.write_his(f.c_str());
}
QBENCH(his_write);

static void his_read(benchmark::State& st) {
    bild16 a;
    std::string f = bench::data("a.his");
    for (auto _ : st) {
        a.read_his(f.c_str());
        benchmark::DoNotOptimize(a.data());
    }
}
QBENCH(his_read);

static void gnuplot_write(benchmark::State& st) {
    const bildfloat& fa = bench::floats("a.his");
    std::string f = bench::scratch("w.gp");
    for (auto _ : st) fa.write_gnuplot(f.c_str());
}
QBENCH(gnuplot_write);

static void gnuplot_read(benchmark::State& st) {
    bildfloat fa;
    std::string f = bench::data("near1.gp");
    for (auto _ : st) {
        fa.read_gnuplot(f.c_str());
        benchmark::DoNotOptimize(fa.data());
    }
}
QBENCH(gnuplot_read);

static void pgm16_write(benchmark::State& st) {
    const bild16& a = bench::counts("a.his");
    std::string f = bench::scratch("w16.pgm");
    for (auto _ : st) a.write_pgm16(f.c_str());
}
QBENCH(pgm16_write);

static void pgm8_write(benchmark::State& st) {
    const bild16& a = bench::counts("a.his");
    std::string f = bench::scratch("w8.pgm");
    for (auto _ : st) a.write_pgm8(f.c_str());
}
QBENCH(pgm8_write);

static void pgm16_read(benchmark::State& st) {
    std::string f = bench::scratch("r16.pgm");
    bench::counts("a.his").write_pgm16(f.c_str());
    bild16 a;
    for (auto _ : st) {
        a.read_pgm(f.c_str());
        benchmark::DoNotOptimize(a.data());
    }
}
QBENCH(pgm16_read);

// TIFF and .npy writes and reads of one exposure and its float image (into
// the page cache), against tifffile and numpy in the peers.
#include "common.h"
#include "imgclass/formats/npy.h"
#include "imgclass/formats/tiff.h"

namespace {

template <class Img> void write_bench(benchmark::State& st, const Img& img, const char* file,
                                      void (*write)(const char*, const Img&)) {
    std::string f = bench::scratch(file);
    for (auto _ : st) write(f.c_str(), img);
}

template <class Img, class W, class R>
void read_bench(benchmark::State& st, const Img& src, const char* file, W write, R read) {
    std::string f = bench::scratch(file);
    write(f.c_str(), src);
    Img img;
    for (auto _ : st) {
        read(f.c_str(), img);
        benchmark::DoNotOptimize(img.data());
    }
}

}  // namespace

static void tiff16_write(benchmark::State& st) {
    write_bench<bild16_base>(st, bench::counts("a.his"), "w16.tif",
                             [](const char* f, const bild16_base& b) { quenz::write_tiff(f, b); });
}
QBENCH(tiff16_write);

static void tiff16_read(benchmark::State& st) {
    read_bench(st, bench::counts("a.his"), "r16.tif",
               [](const char* f, const bild16& b) { quenz::write_tiff(f, b); },
               [](const char* f, bild16& b) { quenz::read_tiff(f, b); });
}
QBENCH(tiff16_read);

static void tiff16_deflate_write(benchmark::State& st) {
    write_bench<bild16_base>(st, bench::counts("a.his"), "w16z.tif", [](const char* f, const bild16_base& b) {
        quenz::write_tiff(f, b, quenz::tiff_compression::deflate);
    });
}
QBENCH(tiff16_deflate_write);

static void tiff16_deflate_read(benchmark::State& st) {
    read_bench(st, bench::counts("a.his"), "r16z.tif",
               [](const char* f, const bild16& b) {
                   quenz::write_tiff(f, b, quenz::tiff_compression::deflate);
               },
               [](const char* f, bild16& b) { quenz::read_tiff(f, b); });
}
QBENCH(tiff16_deflate_read);

static void tiff_float_write(benchmark::State& st) {
    write_bench<bildfloat_base>(st, bench::floats("a.his"), "wf.tif",
                                [](const char* f, const bildfloat_base& b) { quenz::write_tiff(f, b); });
}
QBENCH(tiff_float_write);

static void tiff_float_read(benchmark::State& st) {
    read_bench(st, bench::floats("a.his"), "rf.tif",
               [](const char* f, const bildfloat& b) { quenz::write_tiff(f, b); },
               [](const char* f, bildfloat& b) { quenz::read_tiff(f, b); });
}
QBENCH(tiff_float_read);

static void npy16_write(benchmark::State& st) {
    write_bench<bild16_base>(st, bench::counts("a.his"), "w16.npy",
                             [](const char* f, const bild16_base& b) { quenz::write_npy(f, b); });
}
QBENCH(npy16_write);

static void npy16_read(benchmark::State& st) {
    read_bench(st, bench::counts("a.his"), "r16.npy",
               [](const char* f, const bild16& b) { quenz::write_npy(f, b); },
               [](const char* f, bild16& b) { quenz::read_npy(f, b); });
}
QBENCH(npy16_read);

static void npy_float_write(benchmark::State& st) {
    write_bench<bildfloat_base>(st, bench::floats("a.his"), "wf.npy",
                                [](const char* f, const bildfloat_base& b) { quenz::write_npy(f, b); });
}
QBENCH(npy_float_write);

static void npy_float_read(benchmark::State& st) {
    read_bench(st, bench::floats("a.his"), "rf.npy",
               [](const char* f, const bildfloat& b) { quenz::write_npy(f, b); },
               [](const char* f, bildfloat& b) { quenz::read_npy(f, b); });
}
QBENCH(npy_float_read);

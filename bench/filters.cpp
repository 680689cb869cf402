// Convolution with the data set's kernels, Gaussian smoothing, the FFT and
// the Hamming window.
#include <memory>

#include "imgclass/fourier/bildcomplex.h"
#include "common.h"

static void convolve(benchmark::State& st, int size) {
    std::vector<float> k = bench::numbers(("kernel" + std::to_string(size) + ".txt").c_str());
    const bildfloat& f = bench::floats("a.his");
    delete f.convolve(k, size, size);  // warm: the allocator has the result's pages
    for (auto _ : st) {
        std::unique_ptr<bildfloat> r(f.convolve(k, size, size));
        benchmark::DoNotOptimize(r->data());
    }
}
BENCHMARK_CAPTURE(convolve, 3, 3)->Name("convolve_3")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(convolve, 5, 5)->Name("convolve_5")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(convolve, 11, 11)->Name("convolve_11")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(convolve, 21, 21)->Name("convolve_21")->UseRealTime()->Unit(benchmark::kMicrosecond);

// gaussian works in place: each pass smooths the image of the one before,
// which costs the same.
static void gaussian(benchmark::State& st, float radius) {
    bildfloat f(bench::floats("a.his"));
    f.gaussian(radius);  // warm: the allocator has the temporary's pages
    for (auto _ : st) {
        f.gaussian(radius);
        benchmark::DoNotOptimize(f.data());
    }
}
BENCHMARK_CAPTURE(gaussian, 2.7, 2.7f)->Name("gaussian_2.7")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(gaussian, 10, 10.0f)->Name("gaussian_10")->UseRealTime()->Unit(benchmark::kMicrosecond);

// Forward then backward keeps the values in range; each is timed alone.
static void fft_forward(benchmark::State& st) {
    bildcomplex c(bench::floats("a.his"));
    for (auto _ : st) {
        c.FFT_forward();
        st.PauseTiming();
        c.FFT_backward();
        st.ResumeTiming();
    }
}
QBENCH(fft_forward);

static void fft_backward(benchmark::State& st) {
    bildcomplex c(bench::floats("a.his"));
    for (auto _ : st) {
        st.PauseTiming();
        c.FFT_forward();
        st.ResumeTiming();
        c.FFT_backward();
    }
}
QBENCH(fft_backward);

// Window then unwindow: the values come back (nearly) and stay normal.
static void hamming_window(benchmark::State& st) {
    bildcomplex c(bench::floats("a.his"));
    for (auto _ : st) {
        c.Hamming_window();
        st.PauseTiming();
        c = bildcomplex(bench::floats("a.his"));
        st.ResumeTiming();
    }
}
QBENCH(hamming_window);

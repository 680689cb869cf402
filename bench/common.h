// Shared pieces of the kernel benchmarks: the input files written by
// bench/data.py (directory in $QUENZ_BENCH_DATA) and the registration
// macro. Every benchmark is named by its operation key, the same key the
// Tcl timings and the peers report, so bench/report.py can join them.
#pragma once
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"

namespace bench {

// Path of a file in the data directory.
std::string data(const std::string& name);
// A scratch file path for writers (inside the data directory).
std::string scratch(const std::string& name);

// The images of the data set, read once.
const bild16& counts(const char* his_name);        // a.his, b.his, ref0.his ...
const bildfloat& floats(const char* his_name);     // counts / 65535
const bildfloat& near_one();                       // near1.gp: factors close to 1
std::vector<float> numbers(const char* txt_name);  // blank-separated numbers

}  // namespace bench

// Wall-clock time: parallel kernels work on more than the calling thread.
#define QBENCH(f) BENCHMARK(f)->UseRealTime()->Unit(benchmark::kMicrosecond)

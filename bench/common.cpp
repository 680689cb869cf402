#include "common.h"

#include <malloc.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>

namespace bench {

namespace {
// A long-running interpreter's allocator keeps the pages it freed and hands
// them out again; a fresh benchmark process would instead give back and
// fetch again the 1 MiB of every image-sized temporary on each call, and
// measure page faults (some 15 µs per 4 KiB page on a busy virtual
// machine) rather than the kernel. Set that steady state explicitly.
[[maybe_unused]] const bool steady_allocator = [] {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    return true;
}();
}  // namespace

std::string data(const std::string& name) {
    const char* dir = std::getenv("QUENZ_BENCH_DATA");
    if (!dir) throw std::runtime_error("QUENZ_BENCH_DATA is not set (bench/run sets it)");
    return std::string(dir) + "/" + name;
}

std::string scratch(const std::string& name) { return data("scratch-" + name); }

const bild16& counts(const char* his_name) {
    static std::map<std::string, std::unique_ptr<bild16>> cache;
    auto& p = cache[his_name];
    if (!p) p = std::make_unique<bild16>(data(his_name).c_str());
    return *p;
}

const bildfloat& floats(const char* his_name) {
    static std::map<std::string, std::unique_ptr<bildfloat>> cache;
    auto& p = cache[his_name];
    if (!p) p = std::make_unique<bildfloat>(counts(his_name));
    return *p;
}

const bildfloat& near_one() {
    static bildfloat f(data("near1.gp").c_str());
    return f;
}

std::vector<float> numbers(const char* txt_name) {
    std::ifstream in(data(txt_name));
    if (!in) throw std::runtime_error("cannot read " + data(txt_name));
    std::vector<float> v;
    double d;
    while (in >> d) v.push_back(float(d));
    return v;
}

}  // namespace bench

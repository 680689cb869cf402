#include "imgclass/core/bildfloat.h"
#include "imgclass/system/error.h"
#include "fuzz_file.h"
#include "imgclass/formats/gnuplot.h"

// A refused gnuplot matrix leaves the image as it was. The input is
// decoded where it lies: the file around it is only read_file's business.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Target<bildfloat> t([](bildfloat& b) { b = 0.5f; });
    try {
        quenz::decode_gnuplot(t.fresh(), {data, size}, "fuzz.bin");
    } catch (const quenz::Error&) {
        t.require_unchanged();
    }
    return 0;
}

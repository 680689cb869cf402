#include "bildfloat.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bildfloat img;
    img = 0.5f;
    try {
        img.read_gnuplot(fuzz::temp_file(data, size).c_str());
    } catch (const quenz::Error&) {
        bildfloat half;
        half = 0.5f;
        fuzz::require_unchanged(half, img);
    }
    return 0;
}

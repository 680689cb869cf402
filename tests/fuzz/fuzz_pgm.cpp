#include "imgclass/system/error.h"
#include "fuzz_file.h"

// A refused PGM file leaves the image as it was.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Target<bild16> t([](bild16& b) { b = 7; });
    try {
        t.fresh().read_pgm(fuzz::temp_file(data, size).c_str());
    } catch (const quenz::Error&) {
        t.require_unchanged();
    }
    return 0;
}

#include "imgclass/system/error.h"
#include "fuzz_file.h"
#include "imgclass/formats/png_file.h"

// A refused PNG file leaves the image as it was.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Target<bild16> t([](bild16& b) { b = 7; });
    try {
        quenz::read_png(fuzz::temp_file(data, size).c_str(), t.fresh());
    } catch (const quenz::Error&) {
        t.require_unchanged();
    }
    return 0;
}

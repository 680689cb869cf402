#include "bild16.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bild16 img;
    img = 7;
    try {
        img.read_pgm(fuzz::temp_file(data, size).c_str());
    } catch (const quenz::Error&) {
        bild16 seven;
        seven = 7;
        fuzz::require_unchanged(seven, img);
    }
    return 0;
}

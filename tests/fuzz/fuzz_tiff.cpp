#include "fuzz_file.h"
#include "imgclass/formats/tiff.h"

// A refused TIFF file leaves both kinds of image as they were; the page is
// picked by the first byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::read_both(data, size, [](const char* f, auto& img, int page) {
        quenz::read_tiff(f, img, page);
    });
}

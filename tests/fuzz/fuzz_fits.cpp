#include "imgclass/formats/fits.h"
#include "fuzz_file.h"

// A refused FITS file leaves both kinds of image as they were; the HDU
// (counted from 1) is picked by the first byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::read_both(data, size, [](const char* f, auto& img, int which) {
        quenz::read_fits(f, img, which + 1);
    });
}

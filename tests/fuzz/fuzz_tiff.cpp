#include "bildfloat.h"
#include "error.h"
#include "fuzz_file.h"
#include "tiff.h"

// A refused TIFF file leaves both kinds of image as they were; the
// page or HDU is picked by the first byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Target<bild16> t16([](bild16& b) { b = 7; });
    static fuzz::Target<bildfloat> tf([](bildfloat& f) { f = 0.5f; });
    const int which = size ? data[0] % 3 : 0;
    const std::string f = fuzz::temp_file(data, size);
    try {
        quenz::read_tiff(f.c_str(), t16.fresh(), which);
    } catch (const quenz::Error&) {
        t16.require_unchanged();
    }
    try {
        quenz::read_tiff(f.c_str(), tf.fresh(), which);
    } catch (const quenz::Error&) {
        tf.require_unchanged();
    }
    return 0;
}

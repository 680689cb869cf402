#include "imgclass/core/bildfloat.h"
#include "imgclass/system/error.h"
#include "fuzz_file.h"
#include "imgclass/formats/npy.h"

// The .npy header parser above all: a refused file leaves both kinds of
// image as they were. The input is decoded where it lies.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Target<bild16> t16([](bild16& b) { b = 7; });
    static fuzz::Target<bildfloat> tf([](bildfloat& f) { f = 0.5f; });
    try {
        quenz::decode_npy(t16.fresh(), {data, size}, "fuzz.npy");
    } catch (const quenz::Error&) {
        t16.require_unchanged();
    }
    try {
        quenz::decode_npy(tf.fresh(), {data, size}, "fuzz.npy");
    } catch (const quenz::Error&) {
        tf.require_unchanged();
    }
    return 0;
}

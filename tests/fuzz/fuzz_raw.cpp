#include "fuzz_file.h"
#include "imgclass/formats/format.h"

// The raw reader through its record, with the options the first byte picks
// (type, byte order, an offset of 0 to 63 bytes): a refused file leaves
// both images as they were, and a file read as counts gives the bytes'
// own values at the first and last pixel.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const quenz::Format& raw = *quenz::find_format("raw");
    static fuzz::Target<bild16> t16([](bild16& b) { b = 7; });
    static fuzz::Target<bildfloat> tf([](bildfloat& f) { f = 0.5f; });
    if (size == 0) return 0;
    const std::uint8_t pick = data[0];
    const bool f32 = pick & 1, big = pick & 2;
    const std::uint64_t offset = pick >> 2;
    const quenz::FormatOptions opt(raw.read_options, {{"type", f32 ? "f32" : "u16"},
                                                      {"order", big ? "big" : "little"},
                                                      {"offset", std::to_string(offset)}});
    const std::string f = fuzz::temp_file(data + 1, size - 1);
    try {
        raw.read16(f.c_str(), t16.fresh(), opt);
        if (f32) std::abort();  // counts only
        for (std::size_t i : {std::size_t(0), bild16::npixels() - 1}) {
            const std::uint8_t* p = data + 1 + offset + 2 * i;
            const unsigned v = big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
            if (t16.img.data()[i] != v) std::abort();
        }
    } catch (const quenz::Error&) {
        t16.require_unchanged();
    }
    try {
        raw.readfloat(f.c_str(), tf.fresh(), opt);
    } catch (const quenz::Error&) {
        tf.require_unchanged();
    }
    return 0;
}

#include "imgclass/system/error.h"
#include "fuzz_file.h"
#include "imgclass/formats/his.h"

// A refused HIS file leaves header and pixels as they were. The input is
// decoded where it lies: the file around it is only read_file's business.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Target<bild16> t([](bild16& b) { b = 7; });
    try {
        quenz::decode_his(t.fresh(), {data, size}, "fuzz.his");
    } catch (const quenz::Error&) {
        t.require_unchanged();
    }
    return 0;
}

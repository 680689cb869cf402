#include <cstring>

#include "imgclass/system/error.h"
#include "fuzz_file.h"
#include "imgclass/fit/qrfit.h"

namespace {

// A small valid calibration to read into: order 1, every pixel 0.5.
QRfit good() {
    std::string d("QRfit\0\1\1", 8);
    const float r = 0.25f, c = 0.5f;
    d.append(reinterpret_cast<const char*>(&r), 4);
    for (std::size_t i = 0; i < bildfloat_base::npixels(); ++i) d.append(reinterpret_cast<const char*>(&c), 4);
    return QRfit(fuzz::temp_file(reinterpret_cast<const std::uint8_t*>(d.data()), d.size()).c_str());
}

}  // namespace

// A refused file leaves the object as it was; one that is read has a
// complete coefficient vector for every pixel.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QRfit before = good();
    QRfit q = before;
    try {
        q.read(fuzz::temp_file(data, size).c_str());
        volatile float v = q.apply(511, 511, 0.5f) + q.get_coeff(511, 511, q.order() - 1);
        (void)v;
    } catch (const quenz::Error&) {
        if (q.order() != before.order() || q.refw() != before.refw() ||
            std::memcmp(q.coefficients(), before.coefficients(), 4 * bildfloat_base::npixels()) != 0)
            std::abort();
    }
    return 0;
}

// libFuzzer target for the QRfit file reader: any bytes either read back
// completely or fail with quenz::Error, never touching foreign memory.
// Build: clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Iimgclass
//        tests/fuzz/qrfit_read.cpp imgclass/qrfit.cpp imgclass/qr.cpp imgclass/fileio.cpp
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "error.h"
#include "qrfit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/qrfit-fuzz-" + std::to_string(getpid());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    try {
        QRfit q(path.c_str());
        // A file that reads is complete: every pixel has `order` coefficients.
        volatile float v = q.apply(511, 511, 0.5f) + q.get_coeff(511, 511, q.order() - 1);
        (void)v;
    } catch (const quenz::Error&) {
    }
    return 0;
}

// The Voronoi cell file. A file is either refused with a quenz::Error and
// makes no object, or it gives a closed polygon of the chosen cell whose
// analyses work inside the image or refuse cleanly, and never write it.
#include <fstream>
#include <utility>

#include "imgclass/system/error.h"
#include "fuzz_file.h"
#include "imgclass/analysis/voronoi.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bildfloat img = [] {
        bildfloat b;
        b = 0.5f;
        return b;
    }();
    static std::ofstream discard;  // never opened: what is written goes nowhere
    const std::string path = fuzz::temp_file(data, size);
    // A point inside the image, one on its corner and one far outside.
    for (auto [x, y] : {std::pair{256.0f, 256.0f}, {0.0f, 0.0f}, {-1e30f, 3e38f}}) {
        try {
            Voronoischnitt v(const_cast<bildfloat&>(img), x, y, path.c_str(), discard);
            const std::size_t n = v.ecken.size();
            if (v.npoly != int(n) + 1 || v.polyx.size() != n + 1 || v.polyy.size() != n + 1) std::abort();
            for (std::size_t i = 0; i < n; ++i)
                if (!(v.polyx[i] == v.ecken[i].x || v.polyx[i] != v.polyx[i])) std::abort();
            try {
                v.compute_schnitt(1, discard, discard);
            } catch (const quenz::Error&) {
            }
            try {
                v.boundary_average(discard);
            } catch (const quenz::Error&) {
            }
            v.contains(x, y);
            if (n) v.contains(v.ecken[0].x, v.ecken[0].y);
        } catch (const quenz::Error&) {
            // Refused: nothing was made.
        }
    }
    return 0;
}

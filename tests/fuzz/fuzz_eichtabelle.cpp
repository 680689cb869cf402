#include <algorithm>
#include <vector>

#include "imgclass/curves/eichtabelle.h"
#include "imgclass/system/error.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<double> table(quenz::eichtabelle_entries);
    std::fill(table.begin(), table.end(), 0.5);
    try {
        quenz::read_eichtabelle(fuzz::temp_file(data, size).c_str(),
                                std::span<double, quenz::eichtabelle_entries>(table.data(), table.size()));
    } catch (const quenz::Error&) {
        // A refused file leaves the table as it was.
        if (std::any_of(table.begin(), table.end(), [](double v) { return v != 0.5; })) std::abort();
    }
    return 0;
}

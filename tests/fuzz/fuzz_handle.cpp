// The handle and type-name parsers see every word a script passes where an
// object is expected.
#include <string>

#include "binding/runtime/handle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    qb::Id id;
    qb::Ty t;
    if (qb::parse_handle(text.c_str(), &id, &t)) {
        // A parsed handle prints back to the same text (for the part before any NUL).
        if (qb::handle_text(id, t) != std::string(text.c_str())) __builtin_trap();
    }
    qb::type_by_readable(text.c_str());
    return 0;
}

// The text form of a handle: "_", the four bytes of the id least
// significant first as lowercase hex, then the mangled type name.
#include "handle.h"

#include <cstring>

namespace qb {

namespace {
const char hexdigits[] = "0123456789abcdef";

int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
}  // namespace

std::string handle_text(Id id, Ty t) {
    std::string s = "_";
    for (int b = 0; b < 4; ++b) {
        unsigned byte = (id >> (8 * b)) & 0xff;
        s += hexdigits[byte >> 4];
        s += hexdigits[byte & 15];
    }
    return s + mangled_name(t);
}

bool parse_handle(const char* s, Id* id, Ty* t) {
    if (s[0] != '_') return false;
    Id v = 0;
    for (int i = 0; i < 8; ++i) {
        int nib = nibble(s[1 + i]);
        if (nib < 0) return false;
        v |= Id(nib) << (8 * (i / 2) + (i % 2 == 0 ? 4 : 0));  // high nibble first
    }
    const char* name = s + 9;
    *t = type_by_mangled(name, std::strlen(name));
    *id = v;
    return *t != T_count;
}

}  // namespace qb

#include "imgclass/curves/eichtabelle.h"

#include <cstring>
#include <string>
#include <vector>

#include "imgclass/system/error.h"
#include "imgclass/system/fileio.h"

namespace quenz {

void write_eichtabelle(const char* name, std::span<const double, eichtabelle_entries> table) {
    std::vector<unsigned char> buf(eichtabelle_bytes);
    std::memcpy(buf.data(), eichtabelle_magic, sizeof eichtabelle_magic);
    unsigned char* p = buf.data() + sizeof eichtabelle_magic;
    for (double v : table) {
        store_le(p, static_cast<float>(v));
        p += 4;
    }
    write_file(name, buf.data(), buf.size());
}

void read_eichtabelle(const char* name, std::span<double, eichtabelle_entries> table) {
    auto buf = read_file(name, eichtabelle_bytes);  // bytes after the table are ignored
    if (!buf) cannot_open(name, Unopened::dot);
    // A file shorter than the magic word counts as a wrong header.
    if (buf->size() < sizeof eichtabelle_magic ||
        std::memcmp(buf->data(), eichtabelle_magic, sizeof eichtabelle_magic) != 0)
        throw Error(std::string(name) + " is not a tablekurve file.");
    if (buf->size() < eichtabelle_bytes)
        throw Error(std::string(name) + ": tablekurve file too short (" + std::to_string(buf->size()) +
                    " of " + std::to_string(eichtabelle_bytes) + " bytes)");
    const unsigned char* p = buf->data() + sizeof eichtabelle_magic;
    for (double& v : table) {
        v = load_le<float>(p);
        p += 4;
    }
}

}  // namespace quenz

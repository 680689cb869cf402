#include "eichtabelle.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "error.h"

namespace quenz {

void write_eichtabelle(const char* name, std::span<const double, eichtabelle_entries> table) {
    std::vector<unsigned char> buf(eichtabelle_bytes);
    std::memcpy(buf.data(), eichtabelle_magic, sizeof eichtabelle_magic);
    unsigned char* p = buf.data() + sizeof eichtabelle_magic;
    for (double v : table) {
        auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(v));
        for (int k = 0; k < 4; ++k) *p++ = static_cast<unsigned char>(bits >> (8 * k));
    }
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(buf.data()), std::streamsize(buf.size()));
    if (out) out.close();
    if (!out) throw Error(std::string("Cannot write to ") + name);
}

void read_eichtabelle(const char* name, std::span<double, eichtabelle_entries> table) {
    std::ifstream in(name, std::ios::binary);
    if (!in) throw Error(std::string(name) + " not found.");
    char magic[sizeof eichtabelle_magic] = {};
    in.read(magic, sizeof magic);
    // A file shorter than the magic word counts as a wrong header.
    if (in.gcount() != std::streamsize(sizeof magic) ||
        std::memcmp(magic, eichtabelle_magic, sizeof magic) != 0)
        throw Error(std::string(name) + " is not a tablekurve file.");
    std::vector<unsigned char> buf(4 * eichtabelle_entries);
    in.read(reinterpret_cast<char*>(buf.data()), std::streamsize(buf.size()));
    if (in.gcount() != std::streamsize(buf.size()))
        throw Error(std::string(name) + " is too short for a tablekurve file.");
    const unsigned char* p = buf.data();
    for (double& v : table) {
        std::uint32_t bits = 0;
        for (int k = 0; k < 4; ++k) bits |= std::uint32_t(*p++) << (8 * k);
        v = std::bit_cast<float>(bits);
    }
}

}  // namespace quenz

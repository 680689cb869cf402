// The "EICHTABELLE" file: a 12-byte magic word (with its zero byte), then
// one little-endian single-precision float per count 0..65535.
#pragma once
#include <cstddef>
#include <span>

namespace quenz {

inline constexpr char eichtabelle_magic[12] = "EICHTABELLE";
inline constexpr std::size_t eichtabelle_entries = 65536;
inline constexpr std::size_t eichtabelle_bytes = sizeof eichtabelle_magic + 4 * eichtabelle_entries;

// Throws "Cannot write to <name>" when the file cannot be created or written.
void write_eichtabelle(const char* name, std::span<const double, eichtabelle_entries> table);
// Fills table only when the whole file is good; otherwise throws an error
// naming the file and leaves table alone.
void read_eichtabelle(const char* name, std::span<double, eichtabelle_entries> table);

}  // namespace quenz

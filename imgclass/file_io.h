// Whole-file output shared by the image writers: one buffered block, and a
// file that cannot be created or fully written is reported, not ignored.
#pragma once
#include <cstddef>
#include <fstream>
#include <string>

#include "error.h"

namespace quenz {

inline void write_whole_file(const char* name, const void* bytes, std::size_t n) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    if (out) {
        out.write(static_cast<const char*>(bytes), std::streamsize(n));
        out.close();  // the final flush can fail too (a full disk)
    }
    if (!out) throw Error(std::string("Cannot write to ") + name);
}

}  // namespace quenz

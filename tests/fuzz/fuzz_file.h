// Shared by the reader fuzz targets: the input becomes a file, the reader
// reads it, and a failed read must leave the object exactly as it was.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

inline std::string temp_file(const std::uint8_t* data, std::size_t size) {
    static std::string path = "/tmp/quenz-fuzz-" + std::to_string(getpid());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}

// Aborts (a finding) when a failed read changed the object.
template <class T> void require_unchanged(const T& before, const T& after) {
    for (std::size_t i = 0; i < T::npixels(); ++i)
        if (!(before.data()[i] == after.data()[i]) &&
            !(before.data()[i] != before.data()[i] && after.data()[i] != after.data()[i]))
            std::abort();
}

}  // namespace fuzz

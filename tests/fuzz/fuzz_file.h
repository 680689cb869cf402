// Shared by the reader fuzz targets: the input becomes a file, the reader
// reads it, and a failed read must leave the object exactly as it was.
// Resetting and comparing the object are block copies: a per-pixel loop
// under the sanitizers and coverage counters would cost more than the read.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bild16.h"

namespace fuzz {

// On tmpfs when there is one: the inputs of the image readers are up to a
// megabyte, written once per run.
inline std::string temp_file(const std::uint8_t* data, std::size_t size) {
    static std::string path =
        std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/quenz-fuzz-" +
        std::to_string(getpid());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}

template <class T> bool same_pixels(const T& a, const T& b) {
    return std::memcmp(a.data(), b.data(), T::npixels() * sizeof *a.data()) == 0;
}
inline bool same(const bild16& a, const bild16& b) {
    return same_pixels(a, b) && *a.header == *b.header;  // a HIS read sets the header too
}
template <class T> bool same(const T& a, const T& b) { return same_pixels(a, b); }

// The object a target reads into, put back before every input from a
// reference made once. Aborts (a finding) when a failed read changed it.
template <class T> struct Target {
    T reference, img;
    explicit Target(void (*fill)(T&)) {
        fill(reference);
        img = reference;
    }
    T& fresh() {
        img = reference;
        return img;
    }
    void require_unchanged() const {
        if (!same(img, reference)) std::abort();
    }
};

}  // namespace fuzz

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

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/system/error.h"

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
    return same_pixels(a, b) && a.header() == b.header();  // a HIS read sets the header too
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

// Reads the input into a bild16 and into a bildfloat with read(name, img,
// which), `which` picked by the last byte (a page or an HDU: the first
// byte is the format's magic, which a real file never varies); a refused
// file must leave each image as it was.
template <class Read> int read_both(const std::uint8_t* data, std::size_t size, Read read) {
    static Target<bild16> t16([](bild16& b) { b = 7; });
    static Target<bildfloat> tf([](bildfloat& f) { f = 0.5f; });
    const int which = size ? data[size - 1] % 3 : 0;
    const std::string f = temp_file(data, size);
    try {
        read(f.c_str(), t16.fresh(), which);
    } catch (const quenz::Error&) {
        t16.require_unchanged();
    }
    try {
        read(f.c_str(), tf.fresh(), which);
    } catch (const quenz::Error&) {
        tf.require_unchanged();
    }
    return 0;
}

}  // namespace fuzz

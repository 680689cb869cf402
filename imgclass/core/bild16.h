// The raw camera exposure: 16-bit counts plus the 34-byte header of its
// HIS file.
#pragma once
#include <array>
#include <cstdint>

#include "imgclass/core/imgbase.h"

class bildfloat;

class bild16 : public bild16_base {
public:
    static constexpr int header_size = 34;
    using header_t = std::array<std::uint8_t, header_size>;

    bild16();
    explicit bild16(const char* fname);  // reads a HIS file
    bild16(const bild16&) = default;
    bild16(bild16&&) noexcept = default;
    ~bild16() = default;

    bild16& operator=(const bild16&) = default;  // pixels and header bytes
    bild16& operator=(bild16&&) noexcept = default;
    bild16& operator=(data_t v);
    bild16& operator+=(const bild16& b);
    bild16& operator+=(data_t v);
    bild16& operator-=(const bild16& b);
    bild16& operator-=(data_t v);
    bild16& operator*=(const bild16& b);
    bild16& operator*=(data_t v);
    bild16& operator/=(const bild16& b);
    bild16& operator/=(data_t v);

    void fromfloat(const bildfloat& bf, float max = 1.0f);

    // Drawing marks (each inverts the pixels it covers).
    bild16& drawx(int x, int y1, int y2);
    bild16& drawy(int y, int x1, int x2);
    bild16& kreuz(int x, int y);

    // PGM files.
    void write_pgm16(const char* name) const;
    void write_pgm8(const char* name) const;
    void write_pgm8_bounds(const char* name, data_t low, data_t high) const;
    bild16& read_pgm(const char* name);

    // HIS files.
    bild16& read_his(const char* name);
    void write_his(const char* name) const;

    static header_t default_header();

    // The bytes a HIS file written from this image begins with.
    const header_t& header() const { return header_; }
    header_t& header() { return header_; }

private:
    header_t header_;
};

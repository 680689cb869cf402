#include "imgclass/formats/raw.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <type_traits>
#include <string>
#include <limits>
#include <vector>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/core/samples.h"
#include "imgclass/formats/format.h"
#include "imgclass/formats/region.h"
#include "imgclass/system/error.h"
#include "imgclass/system/fileio.h"

namespace quenz {

namespace {

constexpr std::size_t n = std::size_t(image_size);

struct Layout {
    sample_kind kind;
    bool big;
    std::uint64_t offset;
    Region region;
    std::uint64_t width = n, height = n;  // the file's image
    std::size_t bytes() const { return n * n * sample_size(kind); }
};

Layout layout_of(const FormatOptions& opt, sample_kind own) {
    Layout l{own, false, 0, region_of(opt)};
    if (auto t = opt.word("type")) l.kind = *t == "f32" ? sample_kind::f32 : sample_kind::u16;
    if (auto o = opt.word("order")) l.big = *o == "big";
    if (auto off = opt.number("offset")) l.offset = *off;
    // A raw file does not say its size: the region's side unless told.
    l.width = opt.number("width").value_or(n * l.region.bin);
    l.height = opt.number("height").value_or(l.width);
    if (l.width == 0 || l.height == 0) throw Error("bad value \"0\" for -" + std::string(l.width ? "height" : "width") + ": must be a whole number of at least 1");
    return l;
}

const char* type_word(sample_kind k) { return k == sample_kind::f32 ? "f32" : "u16"; }

// The image's bytes after the offset: exactly l.bytes() of them, or the
// file is refused with what it holds. A file that can seek skips the
// header unread; a pipe's header is read and dropped.
std::vector<unsigned char> read_image_bytes(const char* name, const Layout& l) {
    const int fd = open_for_read(name);
    if (fd < 0) cannot_open(name, Unopened::bang);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const std::size_t want = l.bytes();
    // (A stream's offset is bounded below; a file's could wrap the sum.)
    if (regular && l.offset > std::numeric_limits<std::uint64_t>::max() - want)
        refuse(name, "an offset of " + std::to_string(l.offset) + " bytes is too large");
    auto too_short = [&](std::uint64_t have) {
        refuse(name, std::to_string(have) + " bytes, a raw " + type_word(l.kind) + " image at offset " +
                         std::to_string(l.offset) + " needs " + std::to_string(l.offset + want));
    };
    if (regular && (std::uint64_t(st.st_size) < l.offset || std::uint64_t(st.st_size) - l.offset < want))
        too_short(std::uint64_t(st.st_size));
    // A pipe or device cannot seek: its header is read and dropped, and
    // only so far, so that a script cannot ask for years of reading.
    if (!regular && l.offset > raw_max_stream_offset)
        refuse(name, "not a regular file: an offset of at most " + std::to_string(raw_max_stream_offset) +
                         " bytes is read from it, not " + std::to_string(l.offset));
    std::uint64_t skipped = 0;
    if (l.offset > 0) {
        if (regular && ::lseek(fd, off_t(l.offset), SEEK_SET) == off_t(l.offset)) {
            skipped = l.offset;
        } else {
            std::vector<unsigned char> drop(std::size_t(1) << 16);
            while (skipped < l.offset) {
                const ssize_t r = ::read(fd, drop.data(), std::size_t(std::min<std::uint64_t>(drop.size(), l.offset - skipped)));
                if (r < 0 && errno == EINTR) continue;
                if (r < 0) refuse(name, std::string("cannot be read: ") + std::strerror(errno));
                if (r == 0) too_short(skipped);
                skipped += std::uint64_t(r);
            }
        }
    }
    std::vector<unsigned char> buf(want);
    std::size_t have = 0;
    while (have < want) {
        const ssize_t r = ::read(fd, buf.data() + have, want - have);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) refuse(name, std::string("cannot be read: ") + std::strerror(errno));
        if (r == 0) too_short(skipped + have);
        have += std::size_t(r);
    }
    return buf;
}

// A file read forward: a regular file at any place, a pipe or device by
// reading and dropping what lies before the place asked for.
class Forward {
public:
    explicit Forward(const char* name) : name_(name), fd_(open_for_read(name)) {
        if (fd_ < 0) cannot_open(name, Unopened::bang);
        struct stat st;
        regular_ = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
        size_ = regular_ ? std::uint64_t(st.st_size) : 0;
    }
    ~Forward() { ::close(fd_); }
    Forward(const Forward&) = delete;
    Forward& operator=(const Forward&) = delete;
    bool regular() const { return regular_; }
    std::uint64_t size() const { return size_; }
    // Exactly `len` bytes at `pos` (never before the last read's end for a
    // stream); false at the end of the file.
    bool read_at(std::uint64_t pos, unsigned char* buf, std::size_t len) {
        if (!regular_) {
            while (at_ < pos) {
                unsigned char drop[1 << 14];
                if (!fill(drop, std::size_t(std::min<std::uint64_t>(sizeof drop, pos - at_)))) return false;
            }
            return fill(buf, len);
        }
        std::size_t have = 0;
        while (have < len) {
            const ssize_t r = ::pread(fd_, buf + have, len - have, off_t(pos + have));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) refuse(name_, std::string("cannot be read: ") + std::strerror(errno));
            if (r == 0) return false;
            have += std::size_t(r);
        }
        return true;
    }

private:
    bool fill(unsigned char* buf, std::size_t len) {
        std::size_t have = 0;
        while (have < len) {
            const ssize_t r = ::read(fd_, buf + have, len - have);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) refuse(name_, std::string("cannot be read: ") + std::strerror(errno));
            if (r == 0) return false;
            have += std::size_t(r);
            at_ += std::uint64_t(r);
        }
        return true;
    }
    const char* name_;
    int fd_;
    bool regular_ = false;
    std::uint64_t size_ = 0, at_ = 0;
};

// A region of a larger raw image, binned: its rows are read one by one.
template <class Img> void read_region(const char* name, Img& img, const Layout& l) {
    const Window w = place(name, l.width, l.height, l.region);
    const std::uint64_t size = sample_size(l.kind);
    const auto too_large = [&] { refuse(name, "a raw image of " + std::to_string(l.width) + " x " + std::to_string(l.height) + " pixels is too large"); };
    if (l.width > (std::uint64_t(1) << 31) || l.height > (std::uint64_t(1) << 31)) too_large();
    std::uint64_t need = 0;
    if (__builtin_mul_overflow(l.width * l.height, size, &need)) too_large();
    const bool wraps = __builtin_add_overflow(need, l.offset, &need);
    Forward in(name);
    // (A stream's offset is bounded below; a file's could wrap the sum.)
    if (in.regular() && wraps) refuse(name, "an offset of " + std::to_string(l.offset) + " bytes is too large");
    const auto too_short = [&](std::uint64_t have) {
        refuse(name, std::to_string(have) + " bytes, a raw " + type_word(l.kind) + " image of " +
                         std::to_string(l.width) + " x " + std::to_string(l.height) + " pixels at offset " +
                         std::to_string(l.offset) + " needs " + std::to_string(need));
    };
    if (in.regular() && in.size() < need) too_short(in.size());
    if (!in.regular() && l.offset > raw_max_stream_offset)
        refuse(name, "not a regular file: an offset of at most " + std::to_string(raw_max_stream_offset) +
                         " bytes is read from it, not " + std::to_string(l.offset));
    // A stream is read and dropped up to the region's last row: bounded as
    // its header is, so that /dev/zero cannot keep the reader for years.
    const std::uint64_t end = l.offset + ((w.y + w.side - 1) * l.width + w.x + w.side) * size;
    if (!in.regular() && end > raw_max_stream_offset)
        refuse(name, "not a regular file: at most " + std::to_string(raw_max_stream_offset) +
                         " bytes are read from it, the region ends at byte " + std::to_string(end));
    std::vector<unsigned char> row(std::size_t(w.side * size));
    read_binned(img, w, [&](std::uint64_t first, unsigned rows, double* out) {
        for (unsigned r = 0; r < rows; ++r) {
            const std::uint64_t pos = l.offset + ((w.y + first + r) * l.width + w.x) * size;
            if (!in.read_at(pos, row.data(), row.size())) too_short(pos);
            sample_values(l.kind, l.big, std::is_same_v<Img, bild16>, row.data(), std::size_t(w.side),
                          out + std::size_t(r) * w.side);
        }
    });
}

bool plain(const Layout& l) { return l.region.plain() && l.width == n && l.height == n; }

template <class Img> void decode(Img& img, std::span<const unsigned char> bytes, const Layout& l, const char* name) {
    if (bytes.size() < l.bytes())
        refuse(name, std::to_string(bytes.size()) + " bytes of samples, a raw " + type_word(l.kind) +
                         " image needs " + std::to_string(l.bytes()));
    // Everything is checked: storing cannot fail part-way. The pixels are
    // written in place (a raw file has no header; a bild16 keeps its own).
    const grey_samples s{l.kind, bytes.data(), l.big};
    if constexpr (std::is_same_v<Img, bild16>)
        store(img, s, name);
    else
        store(img, s);
}

template <class T> void put(unsigned char* p, T v, bool big) {
    store_le(p, v);
    if (big) std::reverse(p, p + sizeof(T));
}

template <class T, class Px> std::vector<unsigned char> encode(const Px* px, bool big) {
    std::vector<unsigned char> out(n * n * sizeof(T));
    if (!big) {
        if constexpr (std::is_same_v<T, Px>) {
            pack_le(out.data(), px, n * n);
            return out;
        }
    }
    for (std::size_t i = 0; i < n * n; ++i) put<T>(out.data() + i * sizeof(T), T(px[i]), big);
    return out;
}

}  // namespace

void decode_raw(bild16& img, std::span<const unsigned char> bytes, const FormatOptions& opt, const char* name) {
    const Layout l = layout_of(opt, sample_kind::u16);
    require_counts(l.kind, name);
    decode(img, bytes, l, name);
}

void decode_raw(bildfloat& img, std::span<const unsigned char> bytes, const FormatOptions& opt, const char* name) {
    decode(img, bytes, layout_of(opt, sample_kind::f32), name);
}

void read_raw(const char* name, bild16& img, const FormatOptions& opt) {
    const Layout l = layout_of(opt, sample_kind::u16);
    require_counts(l.kind, name);  // before the file is opened
    if (!plain(l)) return read_region(name, img, l);
    decode(img, read_image_bytes(name, l), l, name);
}

void read_raw(const char* name, bildfloat& img, const FormatOptions& opt) {
    const Layout l = layout_of(opt, sample_kind::f32);
    if (!plain(l)) return read_region(name, img, l);
    decode(img, read_image_bytes(name, l), l, name);
}

void write_raw(const char* name, const bild16_base& img, const FormatOptions& opt) {
    const Layout l = layout_of(opt, sample_kind::u16);
    const auto out = l.kind == sample_kind::f32 ? encode<float>(img.data(), l.big)
                                                : encode<unsigned short>(img.data(), l.big);
    write_file(name, out.data(), out.size());
}

void write_raw(const char* name, const bildfloat_base& img, const FormatOptions& opt) {
    const Layout l = layout_of(opt, sample_kind::f32);
    if (l.kind != sample_kind::f32)
        refuse(name, "a bildfloat is written as f32 samples (its floats would be rounded to u16 counts)");
    const auto out = encode<float>(img.data(), l.big);
    write_file(name, out.data(), out.size());
}

}  // namespace quenz

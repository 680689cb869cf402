#include "imgclass/formats/npy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <type_traits>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imgclass/system/atomic_file.h"
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/system/fileio.h"
#include "imgclass/core/samples.h"
#include "imgclass/formats/region.h"
#include "imgclass/system/error.h"

namespace quenz {

namespace {

constexpr std::size_t n = std::size_t(image_size);
constexpr char magic[] = "\x93NUMPY";
constexpr std::size_t magic_size = 6;

// ------------------------------------------------------------ writing

template <class T> void write_array(const char* name, const T* px, const char* descr) {
    std::string head = std::string("{'descr': '") + descr +
                       "', 'fortran_order': False, 'shape': (512, 512), }";
    // numpy pads with blanks and a newline to a multiple of 64 bytes.
    const std::size_t pre = magic_size + 4;
    head.append((64 - (pre + head.size() + 1) % 64) % 64, ' ');
    head += '\n';
    std::vector<unsigned char> out(pre + head.size() + n * n * sizeof(T));
    std::memcpy(out.data(), magic, magic_size);
    out[6] = 1;  // version 1.0
    out[7] = 0;
    store_le<std::uint16_t>(out.data() + 8, std::uint16_t(head.size()));
    std::memcpy(out.data() + pre, head.data(), head.size());
    pack_le(out.data() + pre + head.size(), px, n * n);
    write_file_atomic(name, out.data(), out.size());
}

// ------------------------------------------------------------ the header

struct Header {
    std::string descr;
    bool fortran = false;
    std::vector<unsigned long long> shape;
};

// A strict reader of the one dict literal numpy writes: string keys, and
// as values a string, True/False or a tuple of non-negative integers.
// Nothing is evaluated; anything else is refused with its position.
class Parser {
public:
    Parser(std::string_view text, const char* name) : s_(text), name_(name) {}

    Header parse() {
        Header h;
        bool seen[3] = {false, false, false};
        space();
        expect('{');
        for (;;) {
            space();
            if (peek() == '}') break;
            std::string key = string_literal();
            space();
            expect(':');
            space();
            int k = key == "descr" ? 0 : key == "fortran_order" ? 1 : key == "shape" ? 2 : -1;
            if (k < 0) fail("unknown key '" + key + "' in the NPY header");
            if (seen[k]) fail("key '" + key + "' twice in the NPY header");
            seen[k] = true;
            if (k == 0) h.descr = string_literal();
            if (k == 1) h.fortran = boolean();
            if (k == 2) h.shape = tuple();
            space();
            if (peek() == ',') {
                ++i_;
                continue;
            }
            if (peek() != '}') syntax();
        }
        ++i_;
        // The padding: blanks, ending in the newline numpy writes.
        for (; i_ < s_.size(); ++i_)
            if (s_[i_] != ' ' && !(s_[i_] == '\n' && i_ + 1 == s_.size())) syntax();
        const char* keys[] = {"descr", "fortran_order", "shape"};
        for (int k = 0; k < 3; ++k)
            if (!seen[k]) fail(std::string("the NPY header has no '") + keys[k] + "'");
        return h;
    }

private:
    std::string_view s_;
    const char* name_;
    std::size_t i_ = 0;

    [[noreturn]] void fail(const std::string& why) const {
        throw Error(std::string(name_) + ": " + why);
    }
    [[noreturn]] void syntax() const {
        fail("the NPY header is not a plain dict literal (at character " + std::to_string(i_) +
             ")");
    }
    char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
    void expect(char c) {
        if (peek() != c) syntax();
        ++i_;
    }
    void space() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
    }
    // 'text' or "text" without escapes, printable ASCII only.
    std::string string_literal() {
        char q = peek();
        if (q != '\'' && q != '"') syntax();
        std::size_t start = ++i_;
        while (i_ < s_.size() && s_[i_] != q) {
            unsigned char c = (unsigned char)s_[i_];
            if (c < 0x20 || c > 0x7e || c == '\\') syntax();
            ++i_;
        }
        if (i_ >= s_.size()) syntax();
        return std::string(s_.substr(start, i_++ - start));
    }
    bool word(std::string_view w) {
        if (s_.substr(i_, w.size()) != w) return false;
        std::size_t j = i_ + w.size();
        if (j < s_.size() && (std::isalnum((unsigned char)s_[j]) || s_[j] == '_')) return false;
        i_ = j;
        return true;
    }
    bool boolean() {
        if (word("True")) return true;
        if (word("False")) return false;
        syntax();
    }
    // Decimal, no sign, no leading zeros (as Python writes them).
    unsigned long long integer() {
        std::size_t start = i_;
        unsigned long long v = 0;
        while (std::isdigit((unsigned char)peek())) {
            if (i_ - start >= 18) syntax();  // far beyond any image
            v = v * 10 + unsigned(s_[i_++] - '0');
        }
        if (i_ == start || (s_[start] == '0' && i_ - start > 1)) syntax();
        return v;
    }
    // (), (a,), (a, b), (a, b,) ...: a lone (a) is no tuple.
    std::vector<unsigned long long> tuple() {
        std::vector<unsigned long long> t;
        expect('(');
        space();
        bool comma = false;
        while (peek() != ')') {
            if (t.size() >= 32) syntax();
            t.push_back(integer());
            space();
            comma = peek() == ',';
            if (comma) {
                ++i_;
                space();
            } else if (peek() != ')') {
                syntax();
            }
        }
        if (t.size() == 1 && !comma) fail("the NPY shape is not a tuple");
        ++i_;
        return t;
    }
};

std::string shape_text(const std::vector<unsigned long long>& s) {
    std::string t = "(";
    for (std::size_t i = 0; i < s.size(); ++i) t += (i ? ", " : "") + std::to_string(s[i]);
    return t + (s.size() == 1 ? ",)" : ")");
}

// Where a region's samples are, for a region read (which gives parse_file
// the header's bytes only).
struct Layout {
    Window win;
    std::uint64_t width, height, data;  // data: the samples' offset
};

// The samples of a file, checked; refuses everything it does not read.
// With a region that is not plain, `file` is the head of the file and
// *layout says where the region lies.
grey_samples parse_file(std::span<const unsigned char> file, const char* name, bool counts,
                        const Region& region = {}, Layout* layout = nullptr) {
    auto refuse = [&](const std::string& why) -> Error {
        return Error(std::string(name) + ": " + why);
    };
    if (file.size() < magic_size + 4 || std::memcmp(file.data(), magic, magic_size) != 0)
        throw refuse("not a NumPy .npy file");
    const int major = file[6], minor = file[7];
    if (major < 1 || major > 3 || minor != 0)
        throw refuse("NPY format version " + std::to_string(major) + "." + std::to_string(minor) +
                     " is not read (1.0, 2.0 and 3.0 are)");
    const std::size_t pre = major == 1 ? 10 : 12;
    if (file.size() < pre) throw refuse("NPY file too short");
    const std::size_t hlen =
        major == 1 ? load_le<std::uint16_t>(file.data() + 8) : load_le<std::uint32_t>(file.data() + 8);
    if (hlen > npy_max_header)
        throw refuse("NPY header of " + std::to_string(hlen) + " bytes is too long (at most " +
                     std::to_string(npy_max_header) + ")");
    if (file.size() < pre + hlen)
        throw refuse("NPY file too short (" + std::to_string(file.size()) + " bytes, header of " +
                     std::to_string(hlen) + ")");
    Header h = Parser({reinterpret_cast<const char*>(file.data()) + pre, hlen}, name).parse();

    grey_samples s{sample_kind::u16, nullptr};
    const std::string& d = h.descr;
    char order = d.empty() ? '\0' : d[0];
    std::string_view type = d.empty() ? "" : std::string_view(d).substr(1);
    bool known = true;
    if (type == "u1" && (order == '|' || order == '<' || order == '>'))
        s.kind = sample_kind::u8;
    else if (type == "u2" && (order == '<' || order == '>'))
        s.kind = sample_kind::u16;
    else if (type == "f4" && (order == '<' || order == '>'))
        s.kind = sample_kind::f32;
    else if (type == "f8" && (order == '<' || order == '>'))
        s.kind = sample_kind::f64;
    else
        known = false;
    if (!known)
        throw refuse("array type '" + d + "' is not read (" +
                     (counts ? "'<u2', '>u2' or '|u1' into a bild16"
                             : "'<f4', '>f4', '<f8', '>f8', '<u2', '>u2' or '|u1' into a bildfloat") +
                     ")");
    if (counts) require_counts(s.kind, name);
    if (h.shape.size() != 2)
        throw refuse("expected a 2-dimensional array, got shape " + shape_text(h.shape));
    s.big_endian = order == '>';
    s.transposed = h.fortran;
    if (!region.plain()) {
        *layout = {place(name, h.shape[1], h.shape[0], region), h.shape[1], h.shape[0], pre + hlen};
        return s;
    }
    require_size((long long)h.shape[1], (long long)h.shape[0], name);
    const std::size_t bytes = n * n * sample_size(s.kind);
    if (file.size() - pre - hlen < bytes)
        throw refuse("NPY data too short (" + std::to_string(file.size() - pre - hlen) + " of " +
                     std::to_string(bytes) + " bytes)");
    s.p = file.data() + pre + hlen;
    return s;
}

std::vector<unsigned char> slurp(const char* name) {
    // The longest file read: the largest header and 64-bit samples.
    auto buf = read_file(name, 12 + npy_max_header + n * n * 8);
    if (!buf) cannot_open(name, Unopened::bang);
    return std::move(*buf);
}

}  // namespace

void write_npy(const char* name, const bild16_base& img) { write_array(name, img.data(), "<u2"); }
void write_npy(const char* name, const bildfloat_base& img) { write_array(name, img.data(), "<f4"); }

void decode_npy(bild16& img, std::span<const unsigned char> file, const char* name) {
    store(img, parse_file(file, name, true), name);
}
void decode_npy(bildfloat& img, std::span<const unsigned char> file, const char* name) {
    store(img, parse_file(file, name, false));
}

namespace {

// A region of a larger array, read row band by row band (a Fortran-order
// array column run by column run).
template <class Img> void read_region(const char* name, Img& img, const Region& region) {
    const int fd = open_for_read(name);
    if (fd < 0) cannot_open(name, Unopened::bang);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) refuse(name, "a region is read from a regular file only");
    const std::uint64_t file_size = std::uint64_t(st.st_size);
    std::vector<unsigned char> head(std::size_t(std::min<std::uint64_t>(file_size, 12 + npy_max_header)));
    auto read_at = [&](std::uint64_t pos, unsigned char* buf, std::size_t len) {
        std::size_t have = 0;
        while (have < len) {
            const ssize_t r = ::pread(fd, buf + have, len - have, off_t(pos + have));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) refuse(name, "NPY data cut short while reading (the file changed?)");
            have += std::size_t(r);
        }
    };
    read_at(0, head.data(), head.size());
    constexpr bool counts = std::is_same_v<Img, bild16>;
    Layout l{};
    const grey_samples s = parse_file(head, name, counts, region, &l);
    const std::uint64_t size = sample_size(s.kind);
    // (Divided, not multiplied: the shape may claim anything.)
    if (l.width > (file_size - l.data) / size / l.height)
        refuse(name, "NPY data too short (" + std::to_string(file_size - l.data) + " bytes for " +
                         std::to_string(l.width) + " x " + std::to_string(l.height) + " samples)");
    const Window& w = l.win;
    const std::size_t side = std::size_t(w.side);
    std::vector<unsigned char> buf(side * w.bin * size);
    read_binned(img, w, [&](std::uint64_t first, unsigned rows, double* out) {
        const std::uint64_t y = w.y + first;
        if (!s.transposed) {
            for (unsigned r = 0; r < rows; ++r) {
                read_at(l.data + ((y + r) * l.width + w.x) * size, buf.data(), side * size);
                sample_values(s.kind, s.big_endian, counts, buf.data(), side, out + r * side);
            }
            return;
        }
        // Column c holds `rows` samples of the band in a run.
        for (std::size_t c = 0; c < side; ++c)
            read_at(l.data + ((w.x + c) * l.height + y) * size, buf.data() + c * rows * size, rows * size);
        for (unsigned r = 0; r < rows; ++r)
            sample_values(s.kind, s.big_endian, counts, buf.data() + r * size, side, out + r * side, rows);
    });
}

}  // namespace

void read_npy(const char* name, bild16& img, const Region& r) {
    if (!r.plain()) return read_region(name, img, r);
    decode_npy(img, slurp(name), name);
}
void read_npy(const char* name, bildfloat& img, const Region& r) {
    if (!r.plain()) return read_region(name, img, r);
    decode_npy(img, slurp(name), name);
}

}  // namespace quenz

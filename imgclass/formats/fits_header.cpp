#include "imgclass/formats/fits_header.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "imgclass/core/constants.h"
#include "imgclass/system/error.h"
#include "imgclass/system/fileio.h"
#include "imgclass/core/samples.h"

namespace quenz::fits {

namespace {

constexpr std::uint64_t max_data = std::uint64_t(1) << 62;


std::string keyword(const char* c) {
    std::string k(c, 8);
    while (!k.empty() && k.back() == ' ') k.pop_back();
    return k;
}

// The value field (columns 11 to 80) of a card with a value indicator.
const char* value_field(const char* c) {
    return c[8] == '=' && c[9] == ' ' ? c + 10 : nullptr;
}

const char* skip_blanks(const char* p, const char* end) {
    while (p < end && *p == ' ') ++p;
    return p;
}

// Nothing but blanks or a comment after a value.
bool value_ends(const char* p, const char* end) {
    p = skip_blanks(p, end);
    return p == end || *p == '/';
}

// The value as it stands, for messages.
std::string value_text(const char* c) {
    const char* v = value_field(c);
    if (!v) return std::string(c + 8, card - 8);
    std::string s(v, c + card);
    if (auto slash = s.find('/'); slash != std::string::npos && s[0] != '\'') s.resize(slash);
    auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The file, read forward: seeks on a regular file (whose size bounds
// every claim), reads and drops on anything else.
class Input {
public:
    explicit Input(const char* name) : name_(name), f_(fopen_for_read(name)) {
        if (!f_) return;
        struct stat st;
        if (fstat(fileno(f_), &st) == 0 && S_ISREG(st.st_mode)) size_ = std::uint64_t(st.st_size);
    }
    ~Input() {
        if (f_) std::fclose(f_);
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    explicit operator bool() const { return f_ != nullptr; }
    std::uint64_t pos() const { return pos_; }
    // How many bytes follow `at`, if the file says.
    std::optional<std::uint64_t> after(std::uint64_t at) const {
        if (!size_) return std::nullopt;
        return *size_ > at ? *size_ - at : 0;
    }
    std::size_t read(void* buf, std::size_t n) {
        std::size_t got = std::fread(buf, 1, n, f_);
        pos_ += got;
        return got;
    }
    // Moves to `at` (not before the current position); false when the
    // file ends first.
    bool skip_to(std::uint64_t at) {
        if (size_) {
            if (at > *size_ || fseeko(f_, off_t(at), SEEK_SET) != 0) return false;
            pos_ = at;
            return true;
        }
        if (at - pos_ > max_stream_skip - std::min(skipped_, max_stream_skip))
            refuse(name_, "more than " + std::to_string(max_stream_skip >> 20) +
                              " MiB to pass in a file that is not a regular file");
        char buf[block];
        while (pos_ < at) {
            std::size_t want = std::size_t(std::min<std::uint64_t>(sizeof buf, at - pos_));
            std::size_t got = read(buf, want);
            skipped_ += got;
            if (got < want) return false;
        }
        return true;
    }

private:
    const char* name_;
    std::FILE* f_;
    std::optional<std::uint64_t> size_;
    std::uint64_t pos_ = 0, skipped_ = 0;
};

bool checked_mul(std::uint64_t& acc, std::uint64_t v) {
    return !__builtin_mul_overflow(acc, v, &acc) && acc <= max_data;
}

// |BITPIX|/8 * GCOUNT * (PCOUNT + NAXIS1 * ... * NAXISn), none on overflow.
// A primary HDU of random groups (GROUPS = T, NAXIS1 = 0) leaves NAXIS1 out.
std::optional<std::uint64_t> data_size(const Header& h, bool groups) {
    if (h.naxis == 0 && h.pcount == 0) return 0;
    std::uint64_t prod = h.naxis ? 1 : 0;
    for (int i = 0; i < h.naxis; ++i) {
        if (i == 0 && groups && h.axes[0] == 0) continue;
        if (!checked_mul(prod, std::uint64_t(h.axes[i]))) return std::nullopt;
    }
    std::uint64_t size = prod + std::uint64_t(h.pcount);
    if (size < prod || size > max_data) return std::nullopt;
    if (!checked_mul(size, std::uint64_t(h.gcount)) ||
        !checked_mul(size, std::uint64_t(h.bitpix < 0 ? -h.bitpix : h.bitpix) / 8))
        return std::nullopt;
    return size;
}

std::string card_text(const std::string& key, std::int64_t v) {
    char buf[card + 1];
    std::snprintf(buf, sizeof buf, "%-8s= %20lld", key.c_str(), (long long)v);
    return buf;
}

// A real as a card: 17 digits read back as the same double.
std::string real_card(const std::string& key, double v) {
    char buf[card + 1];
    std::snprintf(buf, sizeof buf, "%-8s= %20.17G", key.c_str(), v);
    return buf;
}

// Reads the header that starts at the current position, whose first
// `len` bytes have been read already (the caller looked at them to see
// whether a FITS file or another HDU begins there).
Header read_header(Input& in, const char* name, int index, const char* first, std::size_t len,
                   std::vector<std::string>* cards = nullptr) {
    Header h;
    h.index = index;
    const bool primary = index == 1;
    const std::string hdu = "the header of HDU " + std::to_string(index);
    auto bad = [&](const std::string& what) { refuse(name, hdu + " " + what); };
    std::optional<std::int64_t> pcount, gcount;
    bool groups = false, zimage_seen = false;
    unsigned char buf[block];
    std::memcpy(buf, first, len);
    std::size_t have = len;
    for (std::size_t i = 0;; ++i) {
        const std::size_t at = i % (block / card);
        if (at == 0) {
            if (i / (block / card) == max_header_blocks)
                bad("is longer than " + std::to_string(max_header_blocks) + " blocks");
            std::size_t got = in.read(buf + have, block - have);
            have += got;
            if (have < block) std::memset(buf + have, ' ', block - have);
            h.header_bytes += block;
        }
        // A header cut off by the end of the file ends where its cards do.
        if ((at + 1) * card > have) bad("has no END card");
        const char* c = reinterpret_cast<const char*>(buf) + at * card;
        const std::string key = keyword(c);
        if (at == block / card - 1) have = 0;
        if (cards && key != "END") cards->emplace_back(c, card);
        // The mandatory cards, in their places.
        if (i == 0) {
            if (primary) continue;  // SIMPLE, seen by the caller
            auto x = string_value(c);
            if (key != "XTENSION" || !x) bad("has no XTENSION name in card 1");
            h.xtension = *x;
            continue;
        }
        if (i == 1 || i == 2) {
            const char* want = i == 1 ? "BITPIX" : "NAXIS";
            auto v = int_value(c);
            if (key != want || !v)
                bad("has no " + std::string(want) + " in card " + std::to_string(i + 1));
            if (i == 1) {
                if (!(*v == 8 || *v == 16 || *v == 32 || *v == 64 || *v == -32 || *v == -64))
                    bad("has BITPIX = " + value_text(c) + ", not 8, 16, 32, 64, -32 or -64");
                h.bitpix = int(*v);
            } else {
                if (*v < 0 || *v > max_naxis)
                    bad("has NAXIS = " + value_text(c) + ", not 0 to " + std::to_string(max_naxis));
                h.naxis = int(*v);
                h.axes.reserve(std::size_t(h.naxis));
            }
            continue;
        }
        if (i < 3 + std::size_t(h.naxis)) {
            const std::string want = "NAXIS" + std::to_string(i - 2);
            auto v = int_value(c);
            if (key != want || !v) bad("has no " + want + " in card " + std::to_string(i + 1));
            if (*v < 0) bad("has " + want + " = " + value_text(c) + ", not a length");
            h.axes.push_back(*v);
            continue;
        }
        if (key == "END") break;
        if (key == "PCOUNT" && !pcount) {
            pcount = int_value(c);
            if (!pcount || *pcount < 0) bad("has PCOUNT = " + value_text(c) + ", not a count");
        } else if (key == "GCOUNT" && !gcount) {
            gcount = int_value(c);
            if (!gcount || *gcount < 0) bad("has GCOUNT = " + value_text(c) + ", not a count");
        } else if (key == "GROUPS" && primary) {
            groups = logical_value(c).value_or(false);
        } else if (key == "ZIMAGE" && !zimage_seen) {
            zimage_seen = true;
            h.zimage = logical_value(c).value_or(false);
        } else if (key == "BZERO" || key == "BSCALE" || key == "BLANK") {
            h.scaling.emplace_back(c, card);
        }
    }
    if (!primary && (!pcount || !gcount)) bad(pcount ? "has no GCOUNT" : "has no PCOUNT");
    // PCOUNT and GCOUNT count in a primary HDU only for random groups.
    const bool random_groups = primary && groups && h.naxis > 0 && h.axes[0] == 0;
    if (!primary || random_groups) {
        h.pcount = pcount.value_or(0);
        h.gcount = gcount.value_or(1);
    }
    h.data_bytes = data_size(h, random_groups);
    return h;
}

std::string claims(const Header& h, std::uint64_t needed, std::uint64_t held) {
    return "HDU " + std::to_string(h.index) + " claims " + std::to_string(needed) +
           " bytes of data, the file holds " + std::to_string(held) + " after its header";
}

bool is_table(const std::string& x) {
    return x == "BINTABLE" || x == "TABLE" || x == "A3DTABLE";
}

}  // namespace

std::optional<std::int64_t> int_value(const char* c) {
    const char* p = value_field(c);
    if (!p) return std::nullopt;
    const char* end = c + card;
    p = skip_blanks(p, end);
    bool neg = false;
    if (p < end && (*p == '+' || *p == '-')) neg = *p++ == '-';
    if (p == end || *p < '0' || *p > '9') return std::nullopt;
    std::int64_t v = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        if (__builtin_mul_overflow(v, 10, &v) || __builtin_add_overflow(v, *p - '0', &v))
            return std::nullopt;
    if (!value_ends(p, end)) return std::nullopt;
    return neg ? -v : v;
}

std::optional<double> real_value(const char* c, bool* out_of_range) {
    if (out_of_range) *out_of_range = false;
    const char* p = value_field(c);
    if (!p) return std::nullopt;
    const char* end = c + card;
    p = skip_blanks(p, end);
    // The number rewritten for from_chars (which takes no '+' and no D):
    // sign, mantissa, 'e', exponent.
    std::string text;
    if (p < end && (*p == '+' || *p == '-')) {
        if (*p == '-') text += '-';
        ++p;
    }
    std::size_t digits = 0;
    bool point = false;
    for (; p < end && ((*p >= '0' && *p <= '9') || (*p == '.' && !point)); ++p) {
        point = point || *p == '.';
        digits += *p != '.';
        text += *p;
    }
    if (digits == 0) return std::nullopt;
    if (p < end && (*p == 'E' || *p == 'e' || *p == 'D' || *p == 'd')) {
        text += 'e';
        ++p;
        if (p < end && (*p == '+' || *p == '-')) text += *p++;
        const char* exp = p;
        for (; p < end && *p >= '0' && *p <= '9'; ++p) text += *p;
        if (p == exp) return std::nullopt;
    }
    if (!value_ends(p, end)) return std::nullopt;
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v)) {
        if (out_of_range) *out_of_range = true;
        return std::nullopt;
    }
    return v;
}

std::optional<bool> logical_value(const char* c) {
    const char* p = value_field(c);
    if (!p) return std::nullopt;
    const char* end = c + card;
    p = skip_blanks(p, end);
    if (p == end || (*p != 'T' && *p != 'F')) return std::nullopt;
    if (!value_ends(p + 1, end)) return std::nullopt;
    return *p == 'T';
}

std::optional<std::string> string_value(const char* c) {
    const char* p = value_field(c);
    if (!p) return std::nullopt;
    const char* end = c + card;
    p = skip_blanks(p, end);
    if (p == end || *p != '\'') return std::nullopt;
    std::string s;
    for (++p;; ++p) {
        if (p == end) return std::nullopt;
        if (*p == '\'') {
            if (p + 1 < end && p[1] == '\'') {
                s += '\'';
                ++p;
                continue;
            }
            break;
        }
        s += *p;
    }
    if (!value_ends(p + 1, end)) return std::nullopt;
    while (!s.empty() && s.back() == ' ') s.pop_back();  // trailing blanks do not count
    return s;
}

Scaling scaling_of(const char* name, const Header& h) {
    const std::string hdu = "the header of HDU " + std::to_string(h.index) + " has ";
    Scaling s;
    // The value of the card a keyword had before, as it stood, for a
    // message about two that disagree.
    std::string first_bscale, first_bzero, first_blank;
    for (const std::string& c : h.scaling) {
        const std::string key = keyword(c.c_str());
        const std::string shown = key + " = " + value_text(c.c_str());
        if (!value_field(c.c_str()) || value_text(c.c_str()).empty())
            refuse(name, hdu + key + " without a value");
        auto once = [&](auto& slot, auto v, std::string& first) {
            if (slot && *slot != v)
                refuse(name, hdu + first + " and " + shown + ": two values, and readers differ in which they take");
            if (!slot) first = shown;
            slot = v;
        };
        if (key == "BLANK") {
            auto v = int_value(c.c_str());
            if (!v) refuse(name, hdu + shown + ", not an integer");
            once(s.blank, *v, first_blank);
            continue;
        }
        bool out_of_range = false;
        auto v = real_value(c.c_str(), &out_of_range);
        if (!v) refuse(name, hdu + shown + (out_of_range ? ", beyond the range of a double" : ", not a number"));
        if (key == "BSCALE") {
            if (*v == 0) refuse(name, hdu + shown + ": a scale of 0 would make every pixel BZERO");
            once(s.bscale, *v, first_bscale);
        } else {
            once(s.bzero, *v, first_bzero);
        }
    }
    return s;
}

namespace {

// A header found by the walk, and where it starts in the file.
struct Found {
    Header h;
    std::uint64_t start = 0;
    std::uint64_t data() const { return start + h.header_bytes; }
};

// Refuses an HDU whose data the file does not hold (or that claims more
// than 2^62 bytes); leaves the input at the end of the data.
void check_data(Input& in, const char* name, const Found& f) {
    const Header& h = f.h;
    if (!h.data_bytes)
        refuse(name, "HDU " + std::to_string(h.index) + " claims more than 2^62 bytes of data");
    if (!*h.data_bytes) return;
    if (auto held = in.after(f.data()); held && *held < *h.data_bytes)
        refuse(name, claims(h, *h.data_bytes, *held));
    if (!in.skip_to(f.data() + *h.data_bytes))
        refuse(name, claims(h, *h.data_bytes, in.pos() - std::min(in.pos(), f.data())));
}

// Walks from the primary header on, one HDU after the other, calling
// visit(input, found) for each until it returns false, the file has no
// further HDU, the walk has seen max_hdus of them, or a header or data
// claim is refused. The cards of HDU `keep` (if any) go into `cards`.
// Returns true when a further HDU follows the last one walked.
template <class Visit>
bool walk(const char* name, Visit visit, int keep = 0, std::vector<std::string>* cards = nullptr) {
    Input in(name);
    if (!in) cannot_open(name, Unopened::bang);
    char first[9];
    if (in.read(first, 9) != 9 || std::memcmp(first, "SIMPLE  =", 9) != 0)
        refuse(name, "not a FITS file");
    Found f{read_header(in, name, 1, first, sizeof first, keep == 1 ? cards : nullptr), 0};
    for (;;) {
        if (!visit(in, f)) return false;
        check_data(in, name, f);
        const std::uint64_t next = f.data() + (*f.h.data_bytes + block - 1) / block * block;
        // Another HDU follows if the next block begins with XTENSION;
        // anything else after the last HDU (padding, zeros) is not read.
        char c[card];
        if (!in.skip_to(next) || in.read(c, card) != card || std::memcmp(c, "XTENSION= ", 10) != 0)
            return false;
        if (f.h.index == max_hdus) return true;
        const int index = f.h.index + 1;
        f = Found{read_header(in, name, index, c, card, keep == index ? cards : nullptr), next};
    }
}

// Calls use(input, found) for the header of HDU `hdu`, the input left
// where the walk found it.
template <class Use> void at_hdu(const char* name, int hdu, Use use, std::vector<std::string>* cards = nullptr) {
    int seen = 0;
    bool found = false;
    walk(
        name,
        [&](Input& in, const Found& f) {
            if (hdu < 1) refuse(name, "HDU " + std::to_string(hdu) + " out of range (counted from 1)");
            seen = f.h.index;
            if (f.h.index < hdu) return true;
            use(in, f);
            found = true;
            return false;
        },
        hdu, cards);
    if (found) return;
    if (seen == max_hdus)
        refuse(name, "HDU " + std::to_string(hdu) + " out of range (at most " +
                         std::to_string(max_hdus) + " HDUs are read)");
    refuse(name, "HDU " + std::to_string(hdu) + " out of range (the file has " + std::to_string(seen) +
                     (seen == 1 ? " HDU)" : " HDUs)"));
}

// Refuses an HDU that is no uncompressed image of 512 x 512 pixels.
void require_image(const char* name, const Header& h) {
    const std::string which = "HDU " + std::to_string(h.index);
    if (h.zimage && h.xtension == "BINTABLE")
        refuse(name, "tile-compressed FITS images are not supported (funpack it first)");
    if (is_table(h.xtension)) refuse(name, which + " is a table, not an image");
    if (!h.xtension.empty() && h.xtension != "IMAGE")
        refuse(name, which + " is an extension of type '" + h.xtension + "', not an image");
    if (h.naxis == 0) refuse(name, which + " holds no image (NAXIS = 0)");
}

void require_plain(const char* name, const Header& h) {
    if (h.pcount != 0 || h.gcount != 1)
        refuse(name, "HDU " + std::to_string(h.index) + " has PCOUNT = " + std::to_string(h.pcount) +
                         " and GCOUNT = " + std::to_string(h.gcount) + ", not the 0 and 1 of an image");
}

// The bytes of one 512 x 512 plane of the header's BITPIX.
std::size_t plane_bytes(const Header& h) {
    return std::size_t(image_size) * image_size * std::size_t(h.bitpix < 0 ? -h.bitpix : h.bitpix) / 8;
}

// The one-HDU file cfitsio reads: the mandatory cards and the scaling
// cards made here from the values we checked (cfitsio never parses a
// scaling card of the file), then the image's bytes padded to whole
// blocks (read by `fill` into the place it is given).
template <class Fill>
std::vector<unsigned char> one_hdu(const Header& h, const Scaling& s, const std::vector<std::int64_t>& axes,
                                   Fill fill) {
    std::vector<std::string> cards = {
        std::string("SIMPLE  =                    T"), card_text("BITPIX", h.bitpix),
        card_text("NAXIS", std::int64_t(axes.size()))};
    for (std::size_t i = 0; i < axes.size(); ++i) cards.push_back(card_text("NAXIS" + std::to_string(i + 1), axes[i]));
    if (s.bscale) cards.push_back(real_card("BSCALE", *s.bscale));
    if (s.bzero) cards.push_back(real_card("BZERO", *s.bzero));
    if (s.blank) cards.push_back(card_text("BLANK", *s.blank));
    cards.push_back("END");
    const std::size_t head = (cards.size() * card + block - 1) / block * block;
    const std::size_t bytes = plane_bytes(h);
    const std::size_t padded = (bytes + block - 1) / block * block;
    std::vector<unsigned char> out(head + padded, 0);
    std::memset(out.data(), ' ', head);
    for (std::size_t i = 0; i < cards.size(); ++i)
        std::memcpy(out.data() + i * card, cards[i].data(), std::min(card, cards[i].size()));
    fill(out.data() + head, bytes, padded);
    return out;
}

}  // namespace

std::vector<unsigned char> extract_image(const char* name, int hdu, Scaling* scaling) {
    std::vector<unsigned char> out;
    at_hdu(name, hdu, [&](Input& in, const Found& f) {
        const Header& h = f.h;
        require_image(name, h);
        if (!(h.naxis == 2 || (h.naxis == 3 && h.axes[2] == 1)))
            refuse(name, "NAXIS = " + std::to_string(h.naxis) +
                             "; only 2-dimensional images (or NAXIS = 3 with NAXIS3 = 1) are read");
        require_size(h.axes[0], h.axes[1], name);
        require_plain(name, h);
        const Scaling s = scaling_of(name, h);
        if (scaling) *scaling = s;
        out = one_hdu(h, s, h.axes, [&](unsigned char* to, std::size_t, std::size_t padded) {
            // Whole blocks, as cfitsio reads them: a file cut in the padding is cut.
            if (auto held = in.after(f.data()); held && *held < padded) refuse(name, claims(h, padded, *held));
            if (in.pos() != f.data() && !in.skip_to(f.data())) refuse(name, claims(h, padded, 0));
            if (std::size_t got = in.read(to, padded); got != padded) refuse(name, claims(h, padded, got));
        });
    });
    return out;
}

std::int64_t planes(const Header& h) {
    if (h.naxis < 2) return 0;
    std::uint64_t n = 1;
    for (int i = 2; i < h.naxis; ++i)
        if (!checked_mul(n, std::uint64_t(h.axes[i]))) return -1;
    return std::int64_t(n);
}

std::vector<unsigned char> extract_plane(const char* name, int hdu, std::int64_t plane, Scaling* scaling) {
    std::vector<unsigned char> out;
    at_hdu(name, hdu, [&](Input& in, const Found& f) {
        const Header& h = f.h;
        require_image(name, h);
        if (h.naxis < 2) refuse(name, "NAXIS = " + std::to_string(h.naxis) + "; an image has 2 axes or more");
        require_size(h.axes[0], h.axes[1], name);
        require_plain(name, h);
        const std::int64_t n = planes(h);
        if (plane < 0 || plane >= n)
            refuse(name, "plane " + std::to_string(plane) + " out of range (HDU " + std::to_string(hdu) +
                             " has " + std::to_string(n) + (n == 1 ? " plane)" : " planes)"));
        // The whole cube must be there: a cut file is refused whichever
        // plane is asked for.
        if (!h.data_bytes) refuse(name, "HDU " + std::to_string(hdu) + " claims more than 2^62 bytes of data");
        if (auto held = in.after(f.data()); held && *held < *h.data_bytes)
            refuse(name, claims(h, *h.data_bytes, *held));
        const Scaling s = scaling_of(name, h);
        if (scaling) *scaling = s;
        out = one_hdu(h, s, {h.axes[0], h.axes[1]}, [&](unsigned char* to, std::size_t bytes, std::size_t) {
            const std::uint64_t at = f.data() + std::uint64_t(plane) * bytes;
            if (!in.skip_to(at)) refuse(name, claims(h, *h.data_bytes, in.pos() - std::min(in.pos(), f.data())));
            if (std::size_t got = in.read(to, bytes); got != bytes)
                refuse(name, claims(h, *h.data_bytes, at - f.data() + got));
        });
    });
    return out;
}

void read_region(const char* name, int hdu, std::int64_t plane, const Region& r,
                 const std::function<void(const RegionRows&)>& use) {
    at_hdu(name, hdu, [&](Input& in, const Found& f) {
        const Header& h = f.h;
        require_image(name, h);
        if (plane == whole_image && !(h.naxis == 2 || (h.naxis == 3 && h.axes[2] == 1)))
            refuse(name, "NAXIS = " + std::to_string(h.naxis) +
                             "; only 2-dimensional images (or NAXIS = 3 with NAXIS3 = 1) are read");
        if (plane != whole_image && h.naxis < 2) refuse(name, "NAXIS = " + std::to_string(h.naxis) + "; an image has 2 axes or more");
        const Window w = place(name, std::uint64_t(h.axes[0]), std::uint64_t(h.axes[1]), r);
        require_plain(name, h);
        if (plane != whole_image) {
            const std::int64_t n = planes(h);
            if (plane < 0 || plane >= n)
                refuse(name, "plane " + std::to_string(plane) + " out of range (HDU " + std::to_string(hdu) +
                                 " has " + std::to_string(n) + (n == 1 ? " plane)" : " planes)"));
        }
        if (!h.data_bytes) refuse(name, "HDU " + std::to_string(hdu) + " claims more than 2^62 bytes of data");
        if (auto held = in.after(f.data()); !held) {
            refuse(name, "a region is read from a regular file only");
        } else if (*held < *h.data_bytes) {
            refuse(name, claims(h, *h.data_bytes, *held));
        }
        const Scaling s = scaling_of(name, h);
        const std::uint64_t size = std::uint64_t(h.bitpix < 0 ? -h.bitpix : h.bitpix) / 8;
        const std::uint64_t width = std::uint64_t(h.axes[0]);
        const std::uint64_t at = f.data() + std::uint64_t(std::max<std::int64_t>(plane, 0)) * width *
                                                 std::uint64_t(h.axes[1]) * size;
        const std::size_t bytes = std::size_t(w.side * size);
        use(RegionRows{h, s, w, [&](std::uint64_t fits_row, unsigned char* out) {
                           const std::uint64_t pos = at + (fits_row * width + w.x) * size;
                           if (!in.skip_to(pos) || in.read(out, bytes) != bytes)
                               refuse(name, "data cut short while reading (the file changed?)");
                       }});
    });
}

std::vector<Header> list_hdus(const char* name) {
    std::vector<Header> all;
    // The walk checks each HDU's data before it looks for the next one, so
    // every HDU listed is there whole.
    const bool more = walk(name, [&](Input&, const Found& f) {
        all.push_back(f.h);
        return true;
    });
    if (more) refuse(name, "more than " + std::to_string(max_hdus) + " HDUs are not listed");
    return all;
}

std::vector<std::string> header_cards(const char* name, int hdu) {
    std::vector<std::string> cards;
    at_hdu(name, hdu, [](Input&, const Found&) {}, &cards);
    return cards;
}

}  // namespace quenz::fits

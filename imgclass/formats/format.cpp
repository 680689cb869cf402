#include "imgclass/formats/format.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/formats/fits.h"
#include "imgclass/formats/fits_header.h"
#include "imgclass/formats/gnuplot.h"
#include "imgclass/formats/his.h"
#include "imgclass/formats/npy.h"
#include "imgclass/formats/png_file.h"
#include "imgclass/formats/raw.h"
#include "imgclass/formats/region.h"
#include "imgclass/formats/tiff.h"
#include "imgclass/system/error.h"

namespace quenz {

namespace {

using namespace std::string_view_literals;

// ------------------------------------------------------------ the records' parts

constexpr std::string_view his_ext[] = {".his"};
constexpr std::string_view pgm_ext[] = {".pgm"};
constexpr std::string_view gnuplot_ext[] = {".bin", ".gp"};
constexpr std::string_view png_ext[] = {".png"};
constexpr std::string_view tiff_ext[] = {".tif", ".tiff"};
constexpr std::string_view fits_ext[] = {".fits", ".fit", ".fts"};
constexpr std::string_view npy_ext[] = {".npy"};
constexpr std::string_view raw_ext[] = {".raw"};

constexpr Signature png_sig[] = {{"\x89PNG\r\n\x1a\n"sv, "a PNG file"}};
constexpr Signature tiff_sig[] = {{"II\x2a\x00"sv, "a TIFF file"},
                                  {"MM\x00\x2a"sv, "a TIFF file"},
                                  {"II\x2b\x00"sv, "a BigTIFF file"},
                                  {"MM\x00\x2b"sv, "a BigTIFF file"}};
constexpr Signature fits_sig[] = {{"SIMPLE  ="sv, "a FITS file"}};
constexpr Signature npy_sig[] = {{"\x93NUMPY"sv, "an NPY file"}};
constexpr Signature pgm_sig[] = {{"P5"sv, {}}};

constexpr FormatOption tiff_read[] = {{"page", {}, "the page, from 0 (default 0)"}, bin_option, roi_option};
constexpr FormatOption fits_read[] = {{"hdu", {}, "the HDU, from 1, the primary (default 1)", 1}, bin_option, roi_option};
constexpr FormatOption region_read[] = {bin_option, roi_option};

int index_option(const FormatOptions& o, std::string_view name, int fallback) {
    const auto v = o.number(name);
    if (v && *v > 1000000000u) throw Error("-" + std::string(name) + " " + std::to_string(*v) + " is too large");
    return v ? int(*v) : fallback;
}

constexpr std::string_view raw_types[] = {"u16", "f32"};
constexpr std::string_view raw_orders[] = {"little", "big"};
constexpr FormatOption raw_read[] = {
    {"type", raw_types, "the samples: u16 (16-bit counts) or f32 (32-bit floats); default the image's own"},
    {"order", raw_orders, "the byte order: little (default) or big"},
    {"offset", {}, "bytes to skip before the first pixel (a header); default 0"},
    {"width", {}, "the file's width in pixels (default 512, or the side of the -bin region)", 1},
    {"height", {}, "the file's height in pixels (default the width)", 1},
    bin_option,
    roi_option,
};
constexpr FormatOption raw_write[] = {
    {"type", raw_types, "the samples: u16 or f32; default the image's own"},
    {"order", raw_orders, "the byte order: little (default) or big"},
};

// The listings quenz-view asks of a file: pages and the first and last
// page's tags; HDUs, the cards and the first and last plane of the first few.
template <class F> void answer(F f) {
    try {
        f();
    } catch (const Error&) {
    }
}

void walk_tiff(const char* n) {
    long pages = 0;
    answer([&] { pages = tiff_pages(n); });
    answer([&] { tiff_tags(n, 0); });
    if (pages > 1) answer([&] { tiff_tags(n, int(pages - 1)); });
}

void walk_fits(const char* n) {
    std::vector<fits::Header> hdus;
    answer([&] { hdus = fits::list_hdus(n); });
    answer([&] { fits::header_cards(n, 1); });
    // (The first few: each is a walk from the start of the file.)
    bildfloat f;
    for (std::size_t i = 0; i < hdus.size() && i < 4; ++i) {
        const fits::Header& h = hdus[i];
        answer([&] { fits::header_cards(n, h.index); });
        const std::int64_t planes = fits::planes(h);
        for (std::int64_t k : {std::int64_t(0), planes - 1})
            if (k >= 0) answer([&] { read_fits_plane(n, f, h.index, k); });
    }
}

constexpr std::uint64_t pgm_max = (1u << 20) + std::uint64_t(512) * 512 * 2;
constexpr std::uint64_t npy_max = 12 + npy_max_header + std::uint64_t(512) * 512 * 8;

// ------------------------------------------------------------ the records

// Signatures are tried in this order; formats without one come last.
const Format table[] = {
    {FileKind::png, "png", "PNG", png_ext, png_sig, 0,
     [](const char* n, bild16& b, const FormatOptions& o) { read_png(n, b, region_of(o)); }, nullptr,
     [](const char* n, const bild16& b, const FormatOptions&) { write_png16(n, b); }, nullptr,
     true, false, region_read, {}, "", "", nullptr, "write_png16"},
    {FileKind::tiff, "tiff", "TIFF", tiff_ext, tiff_sig, 0,
     [](const char* n, bild16& b, const FormatOptions& o) { read_tiff(n, b, index_option(o, "page", 0), region_of(o)); },
     [](const char* n, bildfloat& f, const FormatOptions& o) { read_tiff(n, f, index_option(o, "page", 0), region_of(o)); },
     [](const char* n, const bild16& b, const FormatOptions&) { write_tiff(n, b); },
     [](const char* n, const bildfloat& f, const FormatOptions&) { write_tiff(n, f); },
     true, false, tiff_read, {}, "tiff_pages", "tiff_tags", walk_tiff},
    {FileKind::fits, "fits", "FITS", fits_ext, fits_sig, 0,
     [](const char* n, bild16& b, const FormatOptions& o) { read_fits(n, b, index_option(o, "hdu", 1), region_of(o)); },
     [](const char* n, bildfloat& f, const FormatOptions& o) { read_fits(n, f, index_option(o, "hdu", 1), region_of(o)); },
     [](const char* n, const bild16& b, const FormatOptions&) { write_fits(n, b); },
     [](const char* n, const bildfloat& f, const FormatOptions&) { write_fits(n, f); },
     true, false, fits_read, {}, "fits_hdus", "fits_cards", walk_fits},
    {FileKind::npy, "npy", "NPY", npy_ext, npy_sig, npy_max,
     [](const char* n, bild16& b, const FormatOptions& o) { read_npy(n, b, region_of(o)); },
     [](const char* n, bildfloat& f, const FormatOptions& o) { read_npy(n, f, region_of(o)); },
     [](const char* n, const bild16& b, const FormatOptions&) { write_npy(n, b); },
     [](const char* n, const bildfloat& f, const FormatOptions&) { write_npy(n, f); },
     true, false, region_read, {}, "", "", nullptr},
    {FileKind::pgm, "pgm", "PGM", pgm_ext, pgm_sig, pgm_max,
     [](const char* n, bild16& b, const FormatOptions&) { b.read_pgm(n); }, nullptr,
     [](const char* n, const bild16& b, const FormatOptions&) { b.write_pgm16(n); }, nullptr,
     true, false, {}, {}, "", "", nullptr, "write_pgm16"},
    {FileKind::gnuplot, "gnuplot", "gnuplot matrix", gnuplot_ext, {}, gnuplot_file_size, nullptr,
     [](const char* n, bildfloat& f, const FormatOptions&) { f.read_gnuplot(n); }, nullptr,
     [](const char* n, const bildfloat& f, const FormatOptions&) { f.write_gnuplot(n); },
     false, false, {}, {}, "", "", nullptr},
    {FileKind::his, "his", "HIS", his_ext, {}, his_file_size,
     [](const char* n, bild16& b, const FormatOptions&) { b.read_his(n); }, nullptr,
     [](const char* n, const bild16& b, const FormatOptions&) { b.write_his(n); }, nullptr,
     true, false, {}, {}, "", "", nullptr},
    {FileKind::raw, "raw", "raw", raw_ext, {}, 0,
     [](const char* n, bild16& b, const FormatOptions& o) { read_raw(n, b, o); },
     [](const char* n, bildfloat& f, const FormatOptions& o) { read_raw(n, f, o); },
     [](const char* n, const bild16& b, const FormatOptions& o) { write_raw(n, b, o); },
     [](const char* n, const bildfloat& f, const FormatOptions& o) { write_raw(n, f, o); },
     false, true, raw_read, raw_write, "", "", nullptr},
};

std::string choices(std::span<const std::string_view> words, std::string_view dash) {
    std::string s;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i) s += i + 1 == words.size() ? (words.size() > 2 ? ", or " : " or ") : ", ";
        s += dash;
        s += words[i];
    }
    return s;
}

// `count` whole numbers separated by single spaces.
bool whole_numbers(std::string_view value, unsigned count) {
    const char* p = value.data();
    const char* end = p + value.size();
    for (unsigned i = 0; i < count; ++i) {
        if (i && (p == end || *p++ != ' ')) return false;
        std::uint64_t v = 0;
        auto [next, ec] = std::from_chars(p, end, v);
        if (next == p || ec != std::errc()) return false;
        p = next;
    }
    return p == end;
}

}  // namespace

std::string option_choices(std::span<const FormatOption> allowed) {
    std::vector<std::string_view> names;
    for (const FormatOption& o : allowed) names.push_back(o.name);
    return choices(names, "-");
}

FormatOptions::FormatOptions(std::span<const FormatOption> allowed,
                             std::vector<std::pair<std::string, std::string>> given) {
    for (auto& pair : given) {
        const std::string& name = pair.first;
        const std::string& value = pair.second;
        auto it = std::find_if(allowed.begin(), allowed.end(), [&](const FormatOption& o) { return o.name == name; });
        if (it == allowed.end()) throw Error("bad option \"-" + name + "\": must be " + option_choices(allowed));
        if (!it->words.empty()) {
            if (std::find(it->words.begin(), it->words.end(), value) == it->words.end())
                throw Error("bad value \"" + value + "\" for -" + name + ": must be " + choices(it->words, ""));
        } else if (!whole_numbers(value, it->values)) {
            throw Error("bad value \"" + value + "\" for -" + name + ": must be " +
                        (it->values == 1 ? std::string("a whole number") : std::to_string(it->values) + " whole numbers"));
        }
        auto seen = std::find_if(given_.begin(), given_.end(), [&](auto& g) { return g.first == name; });
        if (seen != given_.end())
            seen->second = value;  // the last one counts, as in Tcl's own options
        else
            given_.emplace_back(name, value);
    }
}

std::optional<std::string_view> FormatOptions::word(std::string_view name) const {
    for (auto& [n, v] : given_)
        if (n == name) return std::string_view(v);
    return std::nullopt;
}

FormatOptions options_from_words(std::span<const FormatOption> allowed, std::span<const std::string_view> words) {
    std::vector<std::pair<std::string, std::string>> given;
    for (std::size_t i = 0; i < words.size();) {
        const std::string_view w = words[i++];
        auto it = std::find_if(allowed.begin(), allowed.end(),
                               [&](const FormatOption& o) { return w.size() > 1 && w[0] == '-' && o.name == w.substr(1); });
        if (it == allowed.end()) throw Error("bad option \"" + std::string(w) + "\": must be " + option_choices(allowed));
        if (words.size() - i < it->values) throw Error("value for \"" + std::string(w) + "\" missing");
        std::string value(words[i++]);
        for (unsigned k = 1; k < it->values; ++k) (value += ' ') += words[i++];
        given.emplace_back(std::string(it->name), std::move(value));
    }
    return FormatOptions(allowed, std::move(given));
}

std::optional<std::vector<std::uint64_t>> FormatOptions::numbers(std::string_view name) const {
    auto w = word(name);
    if (!w) return std::nullopt;
    std::vector<std::uint64_t> out;
    for (const char *p = w->data(), *end = p + w->size(); p < end;) {
        std::uint64_t v = 0;
        p = std::from_chars(p, end, v).ptr;
        out.push_back(v);
        if (p < end) ++p;  // the space between
    }
    return out;
}

std::optional<std::uint64_t> FormatOptions::number(std::string_view name) const {
    auto w = word(name);
    if (!w) return std::nullopt;
    std::uint64_t v = 0;
    std::from_chars(w->data(), w->data() + w->size(), v);
    return v;
}

static_assert(std::size(table) == format_count);

std::span<const Format> formats() { return table; }

const Format* find_format(std::string_view name) {
    for (const Format& f : table)
        if (f.name == name) return &f;
    return nullptr;
}

const Format& format_of(FileKind kind) {
    for (const Format& f : table)
        if (f.kind == kind) return f;
    throw Error("no format of that kind");
}

const char* kind_name(FileKind kind) {
    for (const Format& f : table)
        if (f.kind == kind) return f.name.data();
    return "unknown";
}

}  // namespace quenz

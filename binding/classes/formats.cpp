// File formats other programs read: TIFF, FITS, NumPy .npy and PNG, as
// methods of bild16 and bildfloat (the class entries list them).
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/formats/fits.h"
#include "imgclass/formats/npy.h"
#include "imgclass/formats/png_file.h"
#include "imgclass/formats/region.h"
#include "imgclass/formats/tiff.h"
#include "render/colormap.h"
#include "render/picture.h"
#include "binding/runtime.h"

namespace {
// The word "-compress": it tells the option form of write_tiff from the
// others during overload dispatch.
struct CompressOption {};
}  // namespace

namespace {
// The word "-cmap": write_png's colour-map form.
struct CmapOption {};
}  // namespace

namespace qb {
template <> struct Arg<CmapOption> {
    static bool names(std::string_view t) { return t == "-cmap"; }
    using stored = int;
    static int get(Tcl_Interp*, Tcl_Obj* o, stored&, int) {
        return std::strcmp(Tcl_GetString(o), "-cmap") == 0 ? OK : E_TYPE;
    }
    static CmapOption pass(stored&) { return {}; }
};
template <> struct Arg<CompressOption> {
    static bool names(std::string_view t) { return t == "-compress"; }
    using stored = int;
    static int get(Tcl_Interp*, Tcl_Obj* o, stored&, int) {
        return std::strcmp(Tcl_GetString(o), "-compress") == 0 ? OK : E_TYPE;
    }
    static CompressOption pass(stored&) { return {}; }
};
}  // namespace qb

namespace {

using quenz::parse_tiff_compression;
constexpr const char* text = "char const *";

// ------------------------------------------------ readers' region options

// A reader's further forms: after its file name, its whole numbers (page,
// HDU, plane: at least Least, at most Most) and then the words of `-bin N`
// and `-roi X Y`. Every form takes words, so that a misplaced option is
// named in the answer rather than failing every form's type test.
template <std::size_t, class T> using as = T;

bool is_option(std::string_view w) { return w.size() > 1 && w[0] == '-' && !(w[1] >= '0' && w[1] <= '9'); }

// A page, HDU or plane read as the plain forms read it (Tcl's integers:
// "010" is 8, "0x1" and " 1" are 1), so that adding an option never
// changes which one a word names.
int whole_number(std::string_view w) {
    Tcl_Obj* o = Tcl_NewStringObj(w.data(), int(w.size()));
    Tcl_IncrRefCount(o);
    int v = 0;
    const int rc = Tcl_GetIntFromObj(nullptr, o, &v);
    Tcl_DecrRefCount(o);
    if (rc != TCL_OK) throw quenz::Error("expected integer but got \"" + std::string(w) + "\"");
    return v;
}

template <class P, int Least, int Most, class Words> struct RegionRead;
template <class P, int Least, int Most, std::size_t... J>
struct RegionRead<P, Least, Most, std::index_sequence<J...>> {
    typename P::Img& operator()(typename P::Img& b, const char* file, as<J, std::string_view>... w) const {
        const std::array<std::string_view, sizeof...(J)> words{w...};
        int n = 0, num[2] = {0, 0};
        while (n < Most && std::size_t(n) < words.size() && (n < Least || !is_option(words[n])))
            num[n] = whole_number(words[n]), ++n;
        const quenz::Region r = quenz::region_of(quenz::options_from_words(
            quenz::region_options(), std::span<const std::string_view>(words).subspan(std::size_t(n))));
        if constexpr (Least == 0) if (n == 0) P::read(file, b, r);
        if constexpr (Least <= 1 && Most >= 1) if (n == 1) P::read(file, b, num[0], r);
        if constexpr (Most == 2) if (n == 2) P::read(file, b, num[0], num[1], r);
        return b;
    }
};

// The forms for the counts Most+1 to Most+5 that some number of whole
// numbers and the words of -bin N, -roi X Y or both make up (the plain
// forms take the counts below; other counts stay wrong counts). A form's
// words are named by an example of it; the usage stays the plain forms'.
template <class P, int Least, int Most>
void add_region_forms(std::vector<qb::Sig>& sigs, const std::string& cmd, const char* self) {
    static constexpr const char* example[] = {"", "", " -bin 1", " -roi 0 0", "", " -bin 1 -roi 0 0"};
    const auto example_of = [](std::size_t k) -> std::string {
        for (int p = Least; p <= Most; ++p)
            if (const std::size_t r = k - std::size_t(p); r == 2 || r == 3 || r == 5)
                return std::string(p == 0 ? "" : p == 1 ? " 0" : " 1 1") + example[r];
        return {};
    };
    [&]<std::size_t... K>(std::index_sequence<K...>) {
        (
            [&] {
                constexpr std::size_t k = Most + 1 + K;
                const std::string words = example_of(k);
                if (words.empty()) return;
                const std::string fmt = std::string(2 + k, 'o') + ":" + cmd + " self name" + words;
                sigs.push_back([&]<std::size_t... J>(std::index_sequence<J...>) {
                    return qb::sig(fmt.c_str(), {self, text, as<J, const char*>("std::string_view")...},
                                   RegionRead<P, Least, Most, std::index_sequence<J...>>{});
                }(std::make_index_sequence<k>{}));
            }(),
            ...);
    }(std::make_index_sequence<5>{});
}

template <class C> struct TiffAt {
    using Img = C;
    static void read(const char* f, C& b, const quenz::Region& r) { quenz::read_tiff(f, b, 0, r); }
    static void read(const char* f, C& b, int page, const quenz::Region& r) { quenz::read_tiff(f, b, page, r); }
};
template <class C> struct FitsAt {
    using Img = C;
    static void read(const char* f, C& b, const quenz::Region& r) { quenz::read_fits(f, b, 1, r); }
    static void read(const char* f, C& b, int hdu, const quenz::Region& r) { quenz::read_fits(f, b, hdu, r); }
    static void read(const char* f, C& b, int hdu, int plane, const quenz::Region& r) {
        quenz::read_fits_plane(f, b, hdu, plane, r);
    }
};
template <class C> struct NpyAt {
    using Img = C;
    static void read(const char* f, C& b, const quenz::Region& r) { quenz::read_npy(f, b, r); }
};
struct PngAt {
    using Img = bild16;
    static void read(const char* f, bild16& b, const quenz::Region& r) { quenz::read_png(f, b, r); }
};

// The reader's entry: its plain forms, then the region forms.
template <class P, int Least, int Most>
qb::Entry reader_entry(const std::string& cmd, std::vector<qb::Sig> plain, const char* self) {
    const std::string usage = qb::usage_of(plain);
    const bool lone = plain.size() == 1;
    std::vector<qb::Sig> sigs = std::move(plain);
    add_region_forms<P, Least, Most>(sigs, cmd, self);
    qb::Entry e = qb::over(cmd.c_str(), std::move(sigs));
    for (qb::Sig& s : e.sigs) s.usage = usage;
    e.lone_answers = lone;
    return e;
}

// write_png: the grey picture of getimage (or getimage_contrast over low..high);
// with -cmap invgrey, viridis or heat the RGB picture quenz-view shows in that
// map (over low..high, or the viewer's automatic range); -cmap grey is the grey
// picture. The usage stays that of the first two forms.
template <class C, class Low, class Fmt>
qb::Entry write_png_entry(const std::string& cmd, Fmt fmt, const char* cself, const char* low_t) {
    std::vector<qb::Sig> plain{
        qb::sig(fmt("write_png", "self name").c_str(), {cself, text},
                [](const C& b, const char* file) { quenz::write_png(file, b); }),
        qb::sig(fmt("write_png", "self name low high").c_str(), {cself, text, low_t, low_t},
                [](const C& b, const char* file, Low low, Low high) { quenz::write_png(file, b, low, high); })};
    const std::string usage = qb::usage_of(plain);
    plain.push_back(qb::sig(fmt("write_png", "self name -cmap map").c_str(), {cself, text, "-cmap", "std::string_view"},
                            [](const C& b, const char* file, CmapOption, std::string_view map) {
                                const quenz::colormap m = quenz::colormap_named(std::string(map));
                                if (m == quenz::colormap::grey) return quenz::write_png(file, b);
                                const auto r = quenz::view_auto_range(b);
                                quenz::write_png_view(file, b, r[0], r[1], m);
                            }));
    plain.push_back(qb::sig(fmt("write_png", "self name low high -cmap map").c_str(),
                            {cself, text, low_t, low_t, "-cmap", "std::string_view"},
                            [](const C& b, const char* file, Low low, Low high, CmapOption, std::string_view map) {
                                const quenz::colormap m = quenz::colormap_named(std::string(map));
                                if (m == quenz::colormap::grey) return quenz::write_png(file, b, low, high);
                                quenz::write_png_view(file, b, double(low), double(high), m);
                            }));
    qb::Entry e = qb::over(cmd.c_str(), std::move(plain));
    e = qb::with_usage(std::move(e));
    for (qb::Sig& s : e.sigs) s.usage = usage;
    return e;
}

// The commands of one class: C is bild16 or bildfloat, Low the type of a
// picture's range (int or float, as getimage_contrast takes).
template <class C, class Low>
std::vector<qb::Entry> format_commands(const std::string& cls, const char* low_t) {
    const std::string self_t = cls + " *", cself_t = cls + " const *";
    const char* self = self_t.c_str();
    const char* cself = cself_t.c_str();
    auto name = [&](const char* method) { return cls + "_" + method; };
    // The stored format: one "o" per argument, then the usage.
    auto fmt = [&](const char* method, const char* args) {
        std::string f(1 + std::count(args, args + std::strlen(args), ' '), 'o');
        return f + ":" + name(method) + " " + args;
    };
    return {
        qb::over(name("write_tiff").c_str(),
                 {qb::sig(fmt("write_tiff", "self name").c_str(), {cself, text},
                          [](const C& b, const char* file) { quenz::write_tiff(file, b); }),
                  qb::sig(fmt("write_tiff", "self name -compress method").c_str(),
                          {cself, text, "-compress", "std::string_view"},
                          [](const C& b, const char* file, CompressOption, std::string_view method) {
                              quenz::write_tiff(file, b, parse_tiff_compression(method));
                          })}),
        reader_entry<TiffAt<C>, 0, 1>(name("read_tiff"),
                 {qb::sig(fmt("read_tiff", "self name").c_str(), {self, text},
                          [](C& b, const char* file) -> C& {
                              quenz::read_tiff(file, b);
                              return b;
                          }),
                  qb::sig(fmt("read_tiff", "self name page").c_str(), {self, text, "int"},
                          [](C& b, const char* file, int page) -> C& {
                              quenz::read_tiff(file, b, page);
                              return b;
                          })}, self),
        qb::fn(qb::sig(fmt("write_fits", "self name").c_str(), {cself, text},
                       [](const C& b, const char* file) { quenz::write_fits(file, b); })),
        reader_entry<FitsAt<C>, 0, 1>(name("read_fits"),
                 {qb::sig(fmt("read_fits", "self name").c_str(), {self, text},
                          [](C& b, const char* file) -> C& {
                              quenz::read_fits(file, b);
                              return b;
                          }),
                  qb::sig(fmt("read_fits", "self name hdu").c_str(), {self, text, "int"},
                          [](C& b, const char* file, int hdu) -> C& {
                              quenz::read_fits(file, b, hdu);
                              return b;
                          })}, self),
        reader_entry<FitsAt<C>, 2, 2>(name("read_fits_plane"),
                 {qb::sig(fmt("read_fits_plane", "self name hdu plane").c_str(), {self, text, "int", "int"},
                       [](C& b, const char* file, int hdu, int plane) -> C& {
                           quenz::read_fits_plane(file, b, hdu, plane);
                           return b;
                       })}, self),
        qb::fn(qb::sig(fmt("write_npy", "self name").c_str(), {cself, text},
                       [](const C& b, const char* file) { quenz::write_npy(file, b); })),
        reader_entry<NpyAt<C>, 0, 0>(name("read_npy"), {qb::sig(fmt("read_npy", "self name").c_str(), {self, text},
                       [](C& b, const char* file) -> C& {
                           quenz::read_npy(file, b);
                           return b;
                       })}, self),
        write_png_entry<C, Low>(name("write_png"), fmt, cself, low_t),
    };
}

std::vector<qb::Entry> bild16_format_commands() {
    auto e = format_commands<bild16, int>("bild16", "int");
    e.push_back(qb::fn(qb::sig("oo:bild16_write_png16 self name", {"bild16 const *", text},
                               [](const bild16& b, const char* file) { quenz::write_png16(file, b); })));
    e.push_back(reader_entry<PngAt, 0, 0>("bild16_read_png", {qb::sig("oo:bild16_read_png self name", {"bild16 *", text},
                               [](bild16& b, const char* file) -> bild16& {
                                   quenz::read_png(file, b);
                                   return b;
                               })}, "bild16 *"));
    return e;
}

// These commands came after the first ones: a wrong count gets Tcl's usage.
std::vector<qb::Entry> all_with_usage(std::vector<qb::Entry> entries) {
    for (qb::Entry& e : entries)
        if (e.sigs.empty() || e.sigs[0].usage.empty()) e = qb::with_usage(std::move(e));
    return entries;
}

}  // namespace

std::vector<qb::Entry> qb::tables::bild16_formats_commands() {
    return all_with_usage(bild16_format_commands());
}

std::vector<qb::Entry> qb::tables::bildfloat_formats_commands() {
    return all_with_usage(format_commands<bildfloat, float>("bildfloat", "float"));
}

// File formats other programs read: TIFF, FITS, NumPy .npy and PNG, as
// methods of bild16 and bildfloat (the class entries list them).
#include <algorithm>
#include <cstring>
#include <string>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/formats/fits.h"
#include "imgclass/formats/npy.h"
#include "imgclass/formats/png_file.h"
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
    using stored = int;
    static int get(Tcl_Interp*, Tcl_Obj* o, stored&, int) {
        return std::strcmp(Tcl_GetString(o), "-cmap") == 0 ? OK : E_TYPE;
    }
    static CmapOption pass(stored&) { return {}; }
};
template <> struct Arg<CompressOption> {
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
    plain.push_back(qb::sig(fmt("write_png", "self name -cmap map").c_str(), {cself, text, text, text},
                            [](const C& b, const char* file, CmapOption, std::string_view map) {
                                const quenz::colormap m = quenz::colormap_named(std::string(map));
                                if (m == quenz::colormap::grey) return quenz::write_png(file, b);
                                const auto r = quenz::view_auto_range(b);
                                quenz::write_png_view(file, b, r[0], r[1], m);
                            }));
    plain.push_back(qb::sig(fmt("write_png", "self name low high -cmap map").c_str(),
                            {cself, text, low_t, low_t, text, text},
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
                          {cself, text, text, text},
                          [](const C& b, const char* file, CompressOption, std::string_view method) {
                              quenz::write_tiff(file, b, parse_tiff_compression(method));
                          })}),
        qb::over(name("read_tiff").c_str(),
                 {qb::sig(fmt("read_tiff", "self name").c_str(), {self, text},
                          [](C& b, const char* file) -> C& {
                              quenz::read_tiff(file, b);
                              return b;
                          }),
                  qb::sig(fmt("read_tiff", "self name page").c_str(), {self, text, "int"},
                          [](C& b, const char* file, int page) -> C& {
                              quenz::read_tiff(file, b, page);
                              return b;
                          })}),
        qb::fn(qb::sig(fmt("write_fits", "self name").c_str(), {cself, text},
                       [](const C& b, const char* file) { quenz::write_fits(file, b); })),
        qb::over(name("read_fits").c_str(),
                 {qb::sig(fmt("read_fits", "self name").c_str(), {self, text},
                          [](C& b, const char* file) -> C& {
                              quenz::read_fits(file, b);
                              return b;
                          }),
                  qb::sig(fmt("read_fits", "self name hdu").c_str(), {self, text, "int"},
                          [](C& b, const char* file, int hdu) -> C& {
                              quenz::read_fits(file, b, hdu);
                              return b;
                          })}),
        qb::fn(qb::sig(fmt("read_fits_plane", "self name hdu plane").c_str(), {self, text, "int", "int"},
                       [](C& b, const char* file, int hdu, int plane) -> C& {
                           quenz::read_fits_plane(file, b, hdu, plane);
                           return b;
                       })),
        qb::fn(qb::sig(fmt("write_npy", "self name").c_str(), {cself, text},
                       [](const C& b, const char* file) { quenz::write_npy(file, b); })),
        qb::fn(qb::sig(fmt("read_npy", "self name").c_str(), {self, text},
                       [](C& b, const char* file) -> C& {
                           quenz::read_npy(file, b);
                           return b;
                       })),
        write_png_entry<C, Low>(name("write_png"), fmt, cself, low_t),
    };
}

std::vector<qb::Entry> bild16_format_commands() {
    auto e = format_commands<bild16, int>("bild16", "int");
    e.push_back(qb::fn(qb::sig("oo:bild16_write_png16 self name", {"bild16 const *", text},
                               [](const bild16& b, const char* file) { quenz::write_png16(file, b); })));
    e.push_back(qb::fn(qb::sig("oo:bild16_read_png self name", {"bild16 *", text},
                               [](bild16& b, const char* file) -> bild16& {
                                   quenz::read_png(file, b);
                                   return b;
                               })));
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

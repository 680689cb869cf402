// What a TIFF or FITS file holds, before any image is read from it: its
// pages and their tags, its HDUs and their cards; and what kind of image
// file a file is (imgclass/formats/identify.h). Our own bounded walks
// of the file answer (imgclass/formats/tiff_ifd.h, imgclass/formats/fits_header.h); no
// third-party library parses anything here.
#include "imgclass/formats/fits_header.h"
#include "imgclass/formats/identify.h"
#include "imgclass/formats/tiff.h"
#include "binding/runtime.h"

namespace {

constexpr const char* text = "char const *";

Tcl_Obj* str(const std::string& s) { return Tcl_NewStringObj(s.data(), int(s.size())); }

// One {tag type count value} list per entry of the page.
Tcl_Obj* tags(const char* file, int page) {
    std::vector<quenz::TiffEntry> entries = quenz::tiff_tags(file, page);
    Tcl_Obj* r = Tcl_NewListObj(0, nullptr);
    for (const quenz::TiffEntry& e : entries) {
        Tcl_Obj* item[] = {Tcl_NewIntObj(e.tag), Tcl_NewIntObj(e.type), Tcl_NewWideIntObj(Tcl_WideInt(e.count)),
                           str(e.value)};
        Tcl_ListObjAppendElement(nullptr, r, Tcl_NewListObj(4, item));
    }
    return r;
}

// One dict per HDU, as its header says: index, xtension ("" for the
// primary HDU), bitpix, naxis, axes; planes (the product of NAXIS3 on, 1
// for NAXIS 2, 0 for no image) and whether it holds a tile-compressed image.
Tcl_Obj* hdus(const char* file) {
    std::vector<quenz::fits::Header> all = quenz::fits::list_hdus(file);
    Tcl_Obj* r = Tcl_NewListObj(0, nullptr);
    for (const quenz::fits::Header& h : all) {
        const bool image = h.xtension.empty() || h.xtension == "IMAGE";
        Tcl_Obj* axes = Tcl_NewListObj(0, nullptr);
        for (std::int64_t a : h.axes) Tcl_ListObjAppendElement(nullptr, axes, Tcl_NewWideIntObj(a));
        Tcl_Obj* kv[] = {
            str("index"),      Tcl_NewIntObj(h.index),
            str("xtension"),   str(h.xtension),
            str("bitpix"),     Tcl_NewIntObj(h.bitpix),
            str("naxis"),      Tcl_NewIntObj(h.naxis),
            str("axes"),       axes,
            str("planes"),     Tcl_NewWideIntObj(image ? quenz::fits::planes(h) : 0),
            str("compressed"), Tcl_NewBooleanObj(h.zimage && h.xtension == "BINTABLE"),
        };
        Tcl_ListObjAppendElement(nullptr, r, Tcl_NewListObj(14, kv));
    }
    return r;
}

Tcl_Obj* cards(const char* file, int hdu) {
    std::vector<std::string> all = quenz::fits::header_cards(file, hdu);
    Tcl_Obj* r = Tcl_NewListObj(0, nullptr);
    for (const std::string& c : all) Tcl_ListObjAppendElement(nullptr, r, str(c));
    return r;
}

// {kind size} for a file of a kind we read, {unknown size like} else.
Tcl_Obj* identity(const char* file) {
    const quenz::Identity id = quenz::identify_file(file);
    const bool unknown = id.kind == quenz::FileKind::unknown;
    Tcl_Obj* item[] = {str(quenz::kind_name(id.kind)), Tcl_NewWideIntObj(Tcl_WideInt(id.size)),
                       unknown ? str(id.like) : nullptr};
    return Tcl_NewListObj(unknown ? 3 : 2, item);
}

}  // namespace

// After the measurements: these came later.
std::vector<qb::Entry> qb::tables::structure_commands() {
    return {
        qb::with_usage(qb::fn(qb::sig("o:tiff_pages name", {text},
                                      [](const char* file) { return quenz::tiff_pages(file); }))),
        qb::with_usage(qb::fn(qb::sig("oo:tiff_tags name page", {text, "int"},
                                      [](const char* file, int page) { return tags(file, page); }))),
        qb::with_usage(qb::fn(qb::sig("o:fits_hdus name", {text}, [](const char* file) { return hdus(file); }))),
        qb::with_usage(qb::fn(qb::sig("oo:fits_cards name hdu", {text, "int"},
                                      [](const char* file, int hdu) { return cards(file, hdu); }))),
        qb::with_usage(qb::fn(qb::sig("o:identify_file name", {text}, [](const char* file) { return identity(file); }))),
    };
}

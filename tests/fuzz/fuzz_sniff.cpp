// quenz-view's way into a file it is given: the format told from the
// first bytes by the library's identification (identify_file, as the
// layer's qv::identify and qv::sniff call it), then the readers it names in
// turn (qv::reader), with the procedures taken from the view layer's own
// script. The identification of the bytes themselves also runs with both
// names, so both ways of telling a gnuplot matrix are reached. The reader
// commands are the library's readers behind the names the layer uses (the
// binding around them only converts words). The walks that list a TIFF's
// pages and tags and a FITS file's HDUs, cards and planes for the layer's
// frames and header window run on every input too. Any error is an
// answer; a crash, a leak or a runaway allocation is a finding.
#include <tcl.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <span>
#include <string>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/system/error.h"
#include "imgclass/formats/fits.h"
#include "imgclass/formats/fits_header.h"
#include "fuzz_file.h"
#include "imgclass/formats/identify.h"
#include "imgclass/formats/npy.h"
#include "imgclass/formats/png_file.h"
#include "imgclass/formats/tiff.h"

namespace {

bild16 b;
bildfloat f;

using Read = std::function<void(const char*)>;
const std::pair<const char*, Read> readers[] = {
    {"bild16_read_his", [](const char* n) { b.read_his(n); }},
    {"bild16_read_pgm", [](const char* n) { b.read_pgm(n); }},
    {"bildfloat_read_gnuplot", [](const char* n) { f.read_gnuplot(n); }},
    {"bild16_read_png", [](const char* n) { quenz::read_png(n, b); }},
    {"bild16_read_tiff", [](const char* n) { quenz::read_tiff(n, b, 0); }},
    {"bildfloat_read_tiff", [](const char* n) { quenz::read_tiff(n, f, 0); }},
    {"bild16_read_fits", [](const char* n) { quenz::read_fits(n, b, 1); }},
    {"bildfloat_read_fits", [](const char* n) { quenz::read_fits(n, f, 1); }},
    {"bild16_read_npy", [](const char* n) { quenz::read_npy(n, b); }},
    {"bildfloat_read_npy", [](const char* n) { quenz::read_npy(n, f); }},
};

// <reader> img file: a library error becomes a Tcl error, as in the binding.
int read_cmd(ClientData cd, Tcl_Interp* in, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) return TCL_ERROR;
    try {
        (*static_cast<const Read*>(cd))(Tcl_GetString(objv[2]));
    } catch (const quenz::Error& e) {
        Tcl_SetObjResult(in, Tcl_NewStringObj(e.what(), -1));
        return TCL_ERROR;
    }
    return TCL_OK;
}

// identify_file name: {kind size} or {unknown size like}, as the binding
// answers.
int identify_cmd(ClientData, Tcl_Interp* in, int objc, Tcl_Obj* const objv[]) {
    if (objc != 2) return TCL_ERROR;
    try {
        const quenz::Identity id = quenz::identify_file(Tcl_GetString(objv[1]));
        Tcl_Obj* r = Tcl_NewListObj(0, nullptr);
        Tcl_ListObjAppendElement(nullptr, r, Tcl_NewStringObj(quenz::kind_name(id.kind), -1));
        Tcl_ListObjAppendElement(nullptr, r, Tcl_NewWideIntObj(Tcl_WideInt(id.size)));
        if (id.kind == quenz::FileKind::unknown)
            Tcl_ListObjAppendElement(nullptr, r, Tcl_NewStringObj(id.like.c_str(), -1));
        Tcl_SetObjResult(in, r);
    } catch (const quenz::Error& e) {
        Tcl_SetObjResult(in, Tcl_NewStringObj((std::string("RuntimeError ") + e.what()).c_str(), -1));
        return TCL_ERROR;
    }
    return TCL_OK;
}

const char* setup_script = R"(
    namespace eval qv {}
    set f [open $layer]
    set text [read $f]
    close $f
    set cmd ""
    foreach line [split $text \n] {
        append cmd $line \n
        if {![info complete $cmd]} continue
        if {[regexp {^proc (qv::identify|qv::sniff|qv::reader) } $cmd]} { eval $cmd }
        set cmd ""
    }
    foreach class {bild16 bildfloat} {
        proc new_$class {} { return img }
        proc delete_$class {img} {}
    }
    # Every reader the layer may name is here: a new one must be added.
    foreach kind {his pgm gnuplot png tiff fits npy} {
        foreach candidate [qv::reader $kind] {
            if {[info commands [lindex $candidate 1]] eq ""} {
                error "no fuzz command for [lindex $candidate 1]"
            }
        }
    }
    # qv::readfile's loop, without the display.
    proc readany {file} {
        foreach candidate [qv::reader [qv::sniff $file]] {
            lassign $candidate class read
            set img [new_$class]
            set rc [catch {$read $img $file}]
            delete_$class $img
            if {!$rc} break
        }
    }
)";

Tcl_Interp* interp() {
    static Tcl_Interp* in = [] {
        Tcl_FindExecutable(nullptr);
        Tcl_Interp* i = Tcl_CreateInterp();
        Tcl_SetVar(i, "layer", QUENZ_VIEW_LAYER, TCL_GLOBAL_ONLY);
        for (auto& [name, read] : readers)
            Tcl_CreateObjCommand(i, name, read_cmd, const_cast<Read*>(&read), nullptr);
        Tcl_CreateObjCommand(i, "identify_file", identify_cmd, nullptr, nullptr);
        if (Tcl_Eval(i, setup_script) != TCL_OK) {
            std::fprintf(stderr, "fuzz_sniff: %s\n", Tcl_GetStringResult(i));
            std::abort();
        }
        return i;
    }();
    return in;
}

// What the layer asks of a TIFF or FITS file for its frames and header
// window: pages and the first and last page's tags; HDUs, and the cards
// and the first and last plane of the first few.
template <class F> void answer(F f) {
    try {
        f();
    } catch (const quenz::Error&) {
    }
}

void structure(const char* n) {
    long pages = 0;
    answer([&] { pages = quenz::tiff_pages(n); });
    answer([&] { quenz::tiff_tags(n, 0); });
    if (pages > 1) answer([&] { quenz::tiff_tags(n, int(pages - 1)); });
    std::vector<quenz::fits::Header> hdus;
    answer([&] { hdus = quenz::fits::list_hdus(n); });
    answer([&] { quenz::fits::header_cards(n, 1); });
    // (The first few: each is a walk from the start of the file.)
    for (std::size_t i = 0; i < hdus.size() && i < 4; ++i) {
        const quenz::fits::Header& h = hdus[i];
        answer([&] { quenz::fits::header_cards(n, h.index); });
        const std::int64_t planes = quenz::fits::planes(h);
        for (std::int64_t k : {std::int64_t(0), planes - 1})
            if (k >= 0) answer([&] { quenz::read_fits_plane(n, f, h.index, k); });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Tcl_Interp* in = interp();
    // The name's extension matters to the sniffing only for gnuplot
    // matrices; the last byte picks one, so both ways are reached.
    std::string file = fuzz::temp_file(data, size);
    std::string named = file + (size && data[size - 1] % 2 ? ".bin" : ".his");
    if (std::rename(file.c_str(), named.c_str()) != 0) std::abort();
    Tcl_Obj* words[2] = {Tcl_NewStringObj("readany", -1), Tcl_NewStringObj(named.c_str(), -1)};
    for (Tcl_Obj* w : words) Tcl_IncrRefCount(w);
    (void)Tcl_EvalObjv(in, 2, words, TCL_EVAL_GLOBAL);  // an error is an answer
    for (Tcl_Obj* w : words) Tcl_DecrRefCount(w);
    Tcl_ResetResult(in);
    structure(named.c_str());
    // The identification of the bytes alone, under other names and sizes.
    const std::span<const unsigned char> bytes(data, size);
    for (const char* name : {"x.his", "x.GP", "dir.bin/x", ""})
        for (std::uint64_t claimed : {std::uint64_t(size), std::uint64_t(524388), std::uint64_t(0)}) {
            const quenz::Identity id = quenz::identify(bytes, claimed, name);
            if ((id.kind == quenz::FileKind::unknown) == id.like.empty()) std::abort();
        }
    return 0;
}

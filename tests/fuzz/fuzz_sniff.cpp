// quenz-view's way into a file it is given: the format told from the
// first bytes by the library's identification (identify_file, as the
// layer's qv::identify and qv::sniff call it), then the readers it names in
// turn (qv::reader), with the procedures taken from the view layer's own
// script. The identification of the bytes themselves also runs with both
// names, so both ways of telling a gnuplot matrix are reached. The reader
// commands and `quenz::formats` come from the formats' records (the
// binding around the readers only converts words), so a new format is
// fuzzed here as soon as it has a record. Each record's walk (the listings
// of a TIFF's pages and tags, a FITS file's HDUs, cards and planes, for
// the layer's frames and header window) runs on every input too. Any error
// is an answer; a crash, a leak or a runaway allocation is a finding.
#include <tcl.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <span>
#include <string>

#include "binding/format_list.h"
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/system/error.h"
#include "fuzz_file.h"
#include "imgclass/formats/format.h"
#include "imgclass/formats/identify.h"

namespace {

bild16 b;
bildfloat f;

// A record's reader into one of the two images, with its default options.
struct Reader {
    const quenz::Format* format;
    bool floats;
    void operator()(const char* n) const {
        if (floats)
            format->readfloat(n, f, {});
        else
            format->read16(n, b, {});
    }
};
std::vector<Reader> readers;  // (kept for the commands' client data)

// <reader> img file: a library error becomes a Tcl error, as in the binding.
int read_cmd(ClientData cd, Tcl_Interp* in, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) return TCL_ERROR;
    try {
        (*static_cast<const Reader*>(cd))(Tcl_GetString(objv[2]));
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
        if {[regexp {^proc (qv::identify|qv::sniff|qv::fileformat|qv::reader) } $cmd]} { eval $cmd }
        set cmd ""
    }
    foreach class {bild16 bildfloat} {
        proc new_$class {} { return img }
        proc delete_$class {img} {}
    }
    # Every reader the layer may name is here.
    foreach format [quenz::formats] {
        if {![dict get $format identified]} continue
        foreach candidate [qv::reader [dict get $format name]] {
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
        for (const quenz::Format& fmt : quenz::formats()) {
            if (fmt.read16) readers.push_back({&fmt, false});
            if (fmt.readfloat) readers.push_back({&fmt, true});
        }
        for (Reader& r : readers) {
            const std::string name = std::string(r.floats ? "bildfloat" : "bild16") + "_read_" + std::string(r.format->name);
            Tcl_CreateObjCommand(i, name.c_str(), read_cmd, &r, nullptr);
        }
        Tcl_CreateObjCommand(i, "quenz::formats", [](ClientData, Tcl_Interp* in, int, Tcl_Obj* const*) {
            Tcl_SetObjResult(in, qb::format_list());
            return TCL_OK;
        }, nullptr, nullptr);
        Tcl_CreateObjCommand(i, "identify_file", identify_cmd, nullptr, nullptr);
        if (Tcl_Eval(i, setup_script) != TCL_OK) {
            std::fprintf(stderr, "fuzz_sniff: %s\n", Tcl_GetStringResult(i));
            std::abort();
        }
        return i;
    }();
    return in;
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
    for (const quenz::Format& fmt : quenz::formats())
        if (fmt.walk) fmt.walk(named.c_str());
    // The identification of the bytes alone, under other names and sizes.
    const std::span<const unsigned char> bytes(data, size);
    for (const char* name : {"x.his", "x.GP", "dir.bin/x", ""})
        for (std::uint64_t claimed : {std::uint64_t(size), std::uint64_t(524388), std::uint64_t(0)}) {
            const quenz::Identity id = quenz::identify(bytes, claimed, name);
            if ((id.kind == quenz::FileKind::unknown) == id.like.empty()) std::abort();
        }
    return 0;
}

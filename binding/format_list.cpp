#include "binding/format_list.h"

#include <string>
#include <string_view>

#include "imgclass/formats/format.h"
#include "imgclass/formats/identify.h"
#include "imgclass/system/error.h"

namespace qb {

namespace {

using quenz::Format;
using quenz::FormatOption;

Tcl_Obj* str(std::string_view s) { return Tcl_NewStringObj(s.data(), int(s.size())); }

Tcl_Obj* options_list(std::span<const FormatOption> opts) {
    Tcl_Obj* r = Tcl_NewListObj(0, nullptr);
    for (const FormatOption& o : opts) {
        Tcl_Obj* words = Tcl_NewListObj(0, nullptr);
        for (std::string_view w : o.words) Tcl_ListObjAppendElement(nullptr, words, str(w));
        std::string dashed("-");
        dashed += o.name;
        Tcl_ListObjAppendElement(nullptr, r, str(dashed));
        Tcl_ListObjAppendElement(nullptr, r, words);
    }
    return r;
}

template <class Fn> Tcl_Obj* commands(const Format& f, const char* verb, Fn has) {
    Tcl_Obj* r = Tcl_NewListObj(0, nullptr);
    for (const char* cls : {"bild16", "bildfloat"})
        if (has(cls)) {
            Tcl_ListObjAppendElement(nullptr, r, str(cls));
            std::string method = std::string(verb) + "_" + std::string(f.name);
            if (std::string_view(verb) == "write" && std::string_view(cls) == "bild16" && !f.writer16.empty())
                method = f.writer16;
            Tcl_ListObjAppendElement(nullptr, r, str(std::string(cls) + "_" + method));
        }
    return r;
}

Tcl_Obj* record(const Format& f) {
    Tcl_Obj* ext = Tcl_NewListObj(0, nullptr);
    for (std::string_view e : f.extensions) Tcl_ListObjAppendElement(nullptr, ext, str(e));
    auto reads = [&](std::string_view c) { return c == "bild16" ? f.read16 != nullptr : f.readfloat != nullptr; };
    auto writes = [&](std::string_view c) { return c == "bild16" ? f.write16 != nullptr : f.writefloat != nullptr; };
    Tcl_Obj* kv[] = {
        str("name"), str(f.name),
        str("title"), str(f.title),
        str("extensions"), ext,
        str("identified"), Tcl_NewBooleanObj(quenz::identifiable(f)),
        str("watched"), Tcl_NewBooleanObj(f.watched),
        str("generated"), Tcl_NewBooleanObj(f.generated),
        str("size"), Tcl_NewWideIntObj(Tcl_WideInt(f.max_size)),
        str("read"), commands(f, "read", reads),
        str("write"), commands(f, "write", writes),
        str("read_options"), options_list(f.read_options),
        str("write_options"), options_list(f.write_options),
        str("frames"), str(f.frames),
        str("header"), str(f.header),
    };
    return Tcl_NewListObj(int(std::size(kv)), kv);
}

}  // namespace

// One dict per format, in the order identification tries them.
Tcl_Obj* format_list() {
    Tcl_Obj* r = Tcl_NewListObj(0, nullptr);
    for (const Format& f : quenz::formats()) Tcl_ListObjAppendElement(nullptr, r, record(f));
    return r;
}

Tcl_Obj* format_list(std::string_view name) {
    if (const Format* f = quenz::find_format(name)) return record(*f);
    std::string names;
    for (const Format& f : quenz::formats()) {
        if (!names.empty()) names += ", ";
        names += f.name;
    }
    throw quenz::Error("unknown format \"" + std::string(name) + "\": must be one of " + names);
}

}  // namespace qb

// A Tk photo image as a command argument, and one Tk_PhotoPutBlock of a
// whole buffer into it (grey: one byte a pixel; RGBA: four).
#pragma once
#include <tk.h>

#include <cstdint>

#include "binding/runtime.h"
#include "imgclass/system/error.h"

namespace quenz::display {

// A photo image found by name in the calling interpreter.
struct Photo {
    Tcl_Interp* interp;
    Tk_PhotoHandle handle;
};

// Hands width x height pixels to Tk at once, opaque; Tk's own words when
// it cannot (Tk 8.6 reports running out of memory).
inline void put_block(const Photo& p, std::uint8_t* pixels, int width, int height, int pixel_size) {
    Tk_PhotoImageBlock block;
    block.pixelPtr = pixels;
    block.width = width;
    block.height = height;
    block.pitch = width * pixel_size;
    block.pixelSize = pixel_size;
    for (int c = 0; c < 4; ++c) block.offset[c] = pixel_size == 4 ? c : 0;
    if (Tk_PhotoPutBlock(p.interp, p.handle, &block, 0, 0, width, height, TK_PHOTO_COMPOSITE_SET) !=
        TCL_OK)
        throw quenz::Error(Tcl_GetStringResult(p.interp));
}

}  // namespace quenz::display

namespace qb {

// A photo name that names no photo image fails the conversion, so the
// overload dispatcher finds no match.
template <> struct Arg<quenz::display::Photo> {
    static bool names(std::string_view t) { return t == "Tk_PhotoHandle"; }
    using stored = quenz::display::Photo;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) {
        s.interp = i;
        s.handle = i ? Tk_FindPhoto(i, Tcl_GetString(o)) : nullptr;
        return s.handle ? arg_converted : arg_refused;
    }
    static stored pass(stored& s) { return s; }
};

}  // namespace qb

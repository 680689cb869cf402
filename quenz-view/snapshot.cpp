// quenz-view's pictures of its windows (see snapshot.h).
#include "quenz-view/snapshot.h"

#include <tk.h>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "imgclass/formats/png_file.h"

namespace {

int snapshot_cmd(ClientData, Tcl_Interp* in, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) {
        Tcl_WrongNumArgs(in, 1, objv, "photo file");
        return TCL_ERROR;
    }
    const char* photo = Tcl_GetString(objv[1]);
    Tk_PhotoHandle h = Tk_FindPhoto(in, photo);
    if (!h) {
        Tcl_SetObjResult(in, Tcl_ObjPrintf("image \"%s\" doesn't exist or is not a photo image", photo));
        return TCL_ERROR;
    }
    Tk_PhotoImageBlock b;
    Tk_PhotoGetImage(h, &b);
    // The block's layout is Tk's (pitch, pixel size, channel offsets):
    // packed RGBA rows for the encoder, and whether any pixel shows
    // through.
    const bool has_alpha = b.offset[3] < b.pixelSize;
    std::vector<std::uint8_t> px;
    bool opaque = true;
    try {
        px.resize(std::size_t(b.width > 0 ? b.width : 0) * std::size_t(b.height > 0 ? b.height : 0) * 4);
        std::uint8_t* d = px.data();
        for (int y = 0; y < b.height; ++y) {
            const unsigned char* s = b.pixelPtr + std::size_t(y) * std::size_t(b.pitch);
            for (int x = 0; x < b.width; ++x, s += b.pixelSize, d += 4) {
                d[0] = s[b.offset[0]];
                d[1] = s[b.offset[1]];
                d[2] = s[b.offset[2]];
                d[3] = has_alpha ? s[b.offset[3]] : 255;
                opaque = opaque && d[3] == 255;
            }
        }
        if (opaque) {
            // RGB: the alpha bytes squeezed out in place.
            for (std::size_t i = 0, n = std::size_t(b.width) * std::size_t(b.height); i < n; ++i)
                for (int c = 0; c < 3; ++c) px[i * 3 + c] = px[i * 4 + c];
        }
        quenz::write_png_colour(Tcl_GetString(objv[2]), b.width, b.height, opaque ? 3 : 4, px.data());
    } catch (const std::exception& e) {
        Tcl_SetObjResult(in, Tcl_NewStringObj(e.what(), -1));
        return TCL_ERROR;
    }
    return TCL_OK;
}

}  // namespace

namespace quenz::view {
void create_snapshot_command(Tcl_Interp* interp) {
    Tcl_CreateObjCommand(interp, "quenzview_snapshot", snapshot_cmd, nullptr, nullptr);
}
}  // namespace quenz::view

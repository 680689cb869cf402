// quenz-view's pictures of its windows (see snapshot.h).
#include "quenz-view/snapshot.h"

#include <sys/stat.h>
#include <tk.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "imgclass/formats/png_file.h"

namespace {

// What the window draws over its picture (markers, the profile line), in
// the photo's pixels: {line|oval x1 y1 x2 y2 ... #rrggbb width} each.
struct Item {
    bool oval = false;
    std::vector<double> xy;
    std::uint8_t rgb[3] = {0, 0, 0};
    int width = 1;
};

// At most this many items and points: a window holds at most 10000 markers.
constexpr int max_items = 40000, max_points = 4096;

bool parse_items(Tcl_Interp* in, Tcl_Obj* list, std::vector<Item>& out) {
    int n = 0;
    Tcl_Obj** v = nullptr;
    if (Tcl_ListObjGetElements(in, list, &n, &v) != TCL_OK) return false;
    if (n > max_items) {
        Tcl_SetObjResult(in, Tcl_ObjPrintf("more than %d items to draw", max_items));
        return false;
    }
    for (int i = 0; i < n; ++i) {
        int m = 0;
        Tcl_Obj** w = nullptr;
        if (Tcl_ListObjGetElements(in, v[i], &m, &w) != TCL_OK) return false;
        Item it;
        const char* kind = m ? Tcl_GetString(w[0]) : "";
        it.oval = std::strcmp(kind, "oval") == 0;
        const int coords = m - 3;
        if ((!it.oval && std::strcmp(kind, "line") != 0) || coords < 4 || coords % 2 || coords > 2 * max_points ||
            (it.oval && coords != 4)) {
            Tcl_SetObjResult(in, Tcl_ObjPrintf("bad item \"%s\": want line x1 y1 x2 y2 ... colour width, "
                                               "or oval x1 y1 x2 y2 colour width", Tcl_GetString(v[i])));
            return false;
        }
        for (int k = 1; k <= coords; ++k) {
            double d = 0;
            if (Tcl_GetDoubleFromObj(in, w[k], &d) != TCL_OK) return false;
            it.xy.push_back(std::clamp(d, -1e6, 1e6));
        }
        const char* colour = Tcl_GetString(w[m - 2]);
        unsigned r = 0, g = 0, b = 0;
        if (std::strlen(colour) != 7 || std::sscanf(colour, "#%2x%2x%2x", &r, &g, &b) != 3) {
            Tcl_SetObjResult(in, Tcl_ObjPrintf("bad colour \"%s\": want #rrggbb", colour));
            return false;
        }
        it.rgb[0] = std::uint8_t(r), it.rgb[1] = std::uint8_t(g), it.rgb[2] = std::uint8_t(b);
        if (Tcl_GetIntFromObj(in, w[m - 1], &it.width) != TCL_OK) return false;
        it.width = std::clamp(it.width, 1, 16);
        out.push_back(std::move(it));
    }
    return true;
}

// Draws the items into packed RGBA pixels of w x h: lines as Tk draws them
// one pixel wide (a square of the width around each point of the path),
// ovals by their outline.
void draw(std::vector<std::uint8_t>& px, int w, int h, const std::vector<Item>& items) {
    auto dot = [&](double x, double y, const Item& it) {
        const int half = it.width / 2;
        const int cx = int(std::floor(x)), cy = int(std::floor(y));
        for (int yy = cy - half; yy <= cy - half + it.width - 1; ++yy)
            for (int xx = cx - half; xx <= cx - half + it.width - 1; ++xx)
                if (xx >= 0 && yy >= 0 && xx < w && yy < h) {
                    std::uint8_t* d = &px[(std::size_t(yy) * std::size_t(w) + std::size_t(xx)) * 4];
                    d[0] = it.rgb[0], d[1] = it.rgb[1], d[2] = it.rgb[2], d[3] = 255;
                }
    };
    auto segment = [&](double x1, double y1, double x2, double y2, const Item& it) {
        const double len = std::max(std::fabs(x2 - x1), std::fabs(y2 - y1));
        // Points beyond the picture are not visited one by one.
        const int steps = int(std::min(len, 4.0 * (w + h)));
        for (int k = 0; k <= steps; ++k) {
            const double t = steps ? double(k) / steps : 0;
            dot(x1 + (x2 - x1) * t, y1 + (y2 - y1) * t, it);
        }
    };
    for (const Item& it : items) {
        if (it.oval) {
            const double cx = (it.xy[0] + it.xy[2]) / 2, cy = (it.xy[1] + it.xy[3]) / 2;
            const double rx = std::fabs(it.xy[2] - it.xy[0]) / 2, ry = std::fabs(it.xy[3] - it.xy[1]) / 2;
            const int n = int(std::clamp(8 * std::max(rx, ry), 8.0, 4.0 * (w + h)));
            for (int k = 0; k < n; ++k) {
                const double a = 2 * M_PI * k / n;
                dot(cx + rx * std::cos(a), cy + ry * std::sin(a), it);
            }
        } else {
            for (std::size_t k = 0; k + 3 < it.xy.size(); k += 2)
                segment(it.xy[k], it.xy[k + 1], it.xy[k + 2], it.xy[k + 3], it);
        }
    }
}

int snapshot_cmd(ClientData, Tcl_Interp* in, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3 && objc != 4) {
        Tcl_WrongNumArgs(in, 1, objv, "photo file ?items?");
        return TCL_ERROR;
    }
    std::vector<Item> items;
    if (objc == 4 && !parse_items(in, objv[3], items)) return TCL_ERROR;
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
        if (!items.empty()) {
            draw(px, b.width, b.height, items);
            opaque = true;
            for (std::size_t i = 3; i < px.size() && opaque; i += 4) opaque = px[i] == 255;
        }
        if (opaque) {
            // RGB: the alpha bytes squeezed out in place.
            for (std::size_t i = 0, n = std::size_t(b.width) * std::size_t(b.height); i < n; ++i)
                for (int c = 0; c < 3; ++c) px[i * 3 + c] = px[i * 4 + c];
        }
        // A FIFO or a device at the name (one a reader waits on, or another
        // user's) would stall the viewer or hand the picture away.
        const char* file = Tcl_GetString(objv[2]);
        struct stat st;
        if (stat(file, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            throw std::runtime_error("not a regular file");
        quenz::write_png_colour(file, b.width, b.height, opaque ? 3 : 4, px.data());
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

// The commands behind quenz-view's windows: colour-mapped, zoomed rendering
// of the part of an image a window shows, a colour bar, and the percentiles
// that pick the automatic range. Each render is one Tk_PhotoPutBlock.
#include <tk.h>

#include "binding/runtime.h"
#include "display/photo_block.h"
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "render/colormap.h"

namespace {

using ViewPhoto = quenz::display::Photo;

// Sizes the photo to the block and hands the RGBA pixels to Tk at once.
void put_rgba(const ViewPhoto& p, std::vector<std::uint8_t>& px, int width, int height) {
    if (Tk_PhotoSetSize(p.interp, p.handle, width, height) != TCL_OK)
        throw quenz::Error(Tcl_GetStringResult(p.interp));
    quenz::display::put_block(p, px.data(), width, height, 4);
}

constexpr const char* photo = "Tk_PhotoHandle";

template <class I> constexpr const char* ref();
template <> constexpr const char* ref<bild16>() { return "bild16 const &"; }
template <> constexpr const char* ref<bildfloat>() { return "bildfloat const &"; }

// render_view zooms in (zoom screen pixels per image pixel); render_shrunk
// takes the same words with the zoom's place holding how many image pixels
// one screen pixel stands for (a window smaller than the image, tiled).
template <class I, bool Shrunk> qb::Sig render_view() {
    return qb::sig(
        Shrunk ? "ooooooooooo:render_shrunk img photo low high map logscale shrink x0 y0 width height"
               : "ooooooooooo:render_view img photo low high map logscale zoom x0 y0 width height",
        {ref<I>(), photo, "double", "double", "std::string_view", "bool", "int", "int", "int", "int",
         "int"},
        [](const I& b, ViewPhoto ph, double low, double high, std::string_view map, bool log,
           int scale, int x0, int y0, int width, int height) {
            quenz::view_params p;
            p.low = low;
            p.high = high;
            p.map = quenz::colormap_named(std::string(map));
            p.log = log;
            (Shrunk ? p.shrink : p.zoom) = scale;
            p.x0 = x0;
            p.y0 = y0;
            p.width = width;
            p.height = height;
            std::vector<std::uint8_t> px;
            quenz::render_view(b, p, px);
            put_rgba(ph, px, width, height);
        });
}

template <class I> qb::Sig percentiles() {
    return qb::sig("ooo:percentiles img p1 p2", {ref<I>(), "double", "double"},
                   [](const I& b, double p1, double p2) {
                       auto r = quenz::percentiles(b, p1, p2);
                       Tcl_Obj* l[2] = {Tcl_NewDoubleObj(r[0]), Tcl_NewDoubleObj(r[1])};
                       return Tcl_NewListObj(2, l);
                   });
}

}  // namespace

namespace {

// The viewer's rendering: after the display commands, with Tk only.
std::vector<qb::Entry> view_commands() {
    return {
        qb::with_usage(qb::over("render_view", {render_view<bild16, false>(), render_view<bildfloat, false>()})),
        qb::with_usage(qb::over("render_shrunk", {render_view<bild16, true>(), render_view<bildfloat, true>()})),
        qb::with_usage(qb::fn(qb::sig("ooooo:render_colorbar photo map logscale width height",
                       {photo, "std::string_view", "bool", "int", "int"},
                       [](ViewPhoto ph, std::string_view map, bool log, int width, int height) {
                           std::vector<std::uint8_t> px;
                           quenz::render_colorbar(quenz::colormap_named(std::string(map)), log, width, height, px);
                           put_rgba(ph, px, width, height);
                       }))),
        qb::with_usage(qb::over("percentiles", {percentiles<bild16>(), percentiles<bildfloat>()})),
    };
}

const bool registered = qb::register_section("viewer rendering", view_commands);

}  // namespace

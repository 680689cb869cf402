// The display commands: render bild16 and bildfloat images into Tk photo
// images. (getminmax, which needs no display, is binding/classes/getminmax.cpp.)
#include <tk.h>

#include "binding/runtime.h"
#include "display/photo_block.h"
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "render/render.h"

namespace {

using quenz::display::Photo;

// The whole rendered buffer, grey.
void put(const Photo& p, quenz::render_buffer& buf) {
    quenz::display::put_block(p, buf.data(), quenz::render_buffer::width,
                              quenz::render_buffer::height, 1);
}

}  // namespace


namespace {

using quenz::render_buffer;

// What differs between the two image classes: the type texts of the
// messages and the type of the contrast bounds.
template <class I> struct Kind;
template <> struct Kind<bild16> {
    static constexpr const char *ref = "bild16 const &", *bound = "int";
    using bound_t = int;
};
template <> struct Kind<bildfloat> {
    static constexpr const char *ref = "bildfloat const &", *bound = "float";
    using bound_t = float;
};
constexpr const char* photo = "Tk_PhotoHandle";  // never named: dispatch finds the photo

template <class I> qb::Sig getimage() {
    return qb::sig("oo:getimage bmp vhandle ", {Kind<I>::ref, photo}, [](const I& b, Photo p) {
        render_buffer buf;
        render_auto(b, buf);
        put(p, buf);
    });
}

template <class I> qb::Sig getimage_contrast() {
    using B = typename Kind<I>::bound_t;
    return qb::sig("oooo:getimage_contrast bmp vhandle low high ",
                   {Kind<I>::ref, photo, Kind<I>::bound, Kind<I>::bound},
                   [](const I& b, Photo p, B low, B high) {
                       render_buffer buf;
                       render_contrast(b, low, high, buf);
                       put(p, buf);
                   });
}

template <class I> qb::Sig getimage_range() {
    return qb::sig("oooooo:getimage_range bmp vhandle x1 y1 x2 y2 ",
                   {Kind<I>::ref, photo, "int", "int", "int", "int"},
                   [](const I& b, Photo p, int x1, int y1, int x2, int y2) {
                       render_buffer buf;
                       auto r = render_range(b, x1, y1, x2, y2, buf);
                       put(p, buf);
                       return r;
                   });
}


// Display commands: left out of the headless quenzcore package.
std::vector<qb::Entry> display_commands() {
    return {
        qb::over("getimage", {getimage<bild16>(), getimage<bildfloat>()}),
        qb::over("getimage_contrast", {getimage_contrast<bild16>(), getimage_contrast<bildfloat>()}),
        qb::over("getimage_range", {getimage_range<bild16>(), getimage_range<bildfloat>()}),
    };
}

// The section takes its place in the command table by name.
const bool registered = qb::register_section("display", display_commands);

}  // namespace



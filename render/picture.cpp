#include "picture.h"

#include "imgclass/formats/png_file.h"
#include "render.h"

namespace quenz {

void write_png(const char* name, const bild16_base& b) {
    render_buffer grey;
    render_auto(b, grey);
    write_png8(name, grey.data());
}

void write_png(const char* name, const bildfloat_base& b) {
    render_buffer grey;
    render_auto(b, grey);
    write_png8(name, grey.data());
}

void write_png(const char* name, const bild16_base& b, int low, int high) {
    render_buffer grey;
    render_contrast(b, low, high, grey, "write_png");
    write_png8(name, grey.data());
}

void write_png(const char* name, const bildfloat_base& b, float low, float high) {
    render_buffer grey;
    render_contrast(b, low, high, grey, "write_png");
    write_png8(name, grey.data());
}

}  // namespace quenz

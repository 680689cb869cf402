// Mapping an image to the grey levels of a photo (the Tk hand-over itself
// is in the Tcl timing).
#include "common.h"
#include "render/render.h"

static void render_photo(benchmark::State& st) {
    const bildfloat& f = bench::floats("a.his");
    quenz::render_buffer out;
    for (auto _ : st) {
        quenz::render_contrast(f, 0.0f, 1.0f, out);
        benchmark::DoNotOptimize(out.data());
    }
}
QBENCH(render_photo);

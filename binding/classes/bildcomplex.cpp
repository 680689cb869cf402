// The complex image class: construction from float images, the FFT, the
// Hamming windows and taking the image apart. The container commands
// (get, set, sizes) are those of bildcomplex_base.
#include "imgclass/fourier/bildcomplex.h"
#include "imgclass/core/bildfloat.h"
#include "binding/runtime.h"

namespace {

// Four overloads each: (width xm ym), (width xm), (width), () with the
// class's defaults for what is left out.
constexpr float width = bildcomplex::window_width, centre = bildcomplex::window_centre;

template <bildcomplex& (bildcomplex::*W)(float, float, float)>
qb::Entry window(const char* name) {
    std::string n = name;
    const char* self = "bildcomplex *";
    return qb::over(name, {
        qb::sig(("oooo:" + n + " self width xm ym").c_str(), {self, "float", "float", "float"},
                qb::mem<W>()),
        qb::sig(("ooo:" + n + " self width xm").c_str(), {self, "float", "float"},
                [](bildcomplex& c, float w, float xm) -> bildcomplex& {
                    return (c.*W)(w, xm, centre);
                }),
        qb::sig(("oo:" + n + " self width").c_str(), {self, "float"},
                [](bildcomplex& c, float w) -> bildcomplex& { return (c.*W)(w, centre, centre); }),
        qb::sig(("o:" + n + " self").c_str(), {self},
                [](bildcomplex& c) -> bildcomplex& { return (c.*W)(width, centre, centre); }),
    });
}

}  // namespace

std::vector<qb::Entry> qb::tables::bildcomplex_commands() {
    return {
        qb::over("new_bildcomplex",
                 {qb::sig(":new_bildcomplex", {}, [] { return new bildcomplex(); }),
                  qb::sig("o:new_bildcomplex realvalue", {"bildfloat const &"},
                          [](const bildfloat& r) { return new bildcomplex(r); }),
                  qb::sig("oo:new_bildcomplex real imag", {"bildfloat const &", "bildfloat const &"},
                          [](const bildfloat& r, const bildfloat& i) { return new bildcomplex(r, i); })}),
        qb::deleter<bildcomplex>("o:delete_bildcomplex self", "bildcomplex *"),
        qb::fn(qb::sig("ooo:bildcomplex_decompose self real imag",
                       {"bildcomplex *", "bildfloat &", "bildfloat &"},
                       qb::mem<&bildcomplex::decompose>())),
        qb::fn(qb::sig("o:bildcomplex_FFT_forward self", {"bildcomplex *"},
                       qb::mem<&bildcomplex::FFT_forward>())),
        qb::fn(qb::sig("o:bildcomplex_FFT_backward self", {"bildcomplex *"},
                       qb::mem<&bildcomplex::FFT_backward>())),
        window<&bildcomplex::Hamming_window>("bildcomplex_Hamming_window"),
        window<&bildcomplex::Hamming_unwindow>("bildcomplex_Hamming_unwindow"),
        qb::fn(qb::sig("oo:bildcomplex_norm self ret", {"bildcomplex *", "bildfloat &"},
                       qb::mem<&bildcomplex::norm>())),
        qb::fn(qb::sig("ooooo:bildcomplex_set self y x real imag",
                       {"bildcomplex *", "int", "int", "float", "float"},
                       [](bildcomplex& c, int y, int x, float re, float im) { c.set(y, x, re, im); })),
        qb::klass<bildcomplex>("bildcomplex"),
        qb::upcast<bildcomplex, bildcomplex_base>(),
    };
}


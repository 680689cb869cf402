// The surface-area accumulator over a float image.
#include "imgclass/analysis/surface.h"
#include "binding/runtime.h"

std::vector<qb::Entry> qb::tables::surface_commands() {
    return {
        qb::fn(qb::sig("o:surface_rb_get self", {"surface *"},
                       [](surface& s) -> const bildfloat& { return s.rb; })),
        qb::fn(qb::sig("oo:surface_surf_set self surf", {"surface *", "double"},
                       [](surface& s, double v) { s.surf = v; })),
        qb::fn(qb::sig("o:surface_surf_get self", {"surface *"},
                       [](surface& s) { return s.surf; })),
        qb::fn(qb::sig("o:new_surface rb_", {"bildfloat const &"},
                       [](const bildfloat& b) { return qb::dependent(new surface(b), b); })),
        qb::fn(qb::sig("ooo:surface_put self x y", {"surface *", "int", "int"},
                       qb::mem<&surface::put>())),
        qb::fn(qb::sig("o:surface_get self", {"surface *"}, qb::mem<&surface::get>())),
        qb::deleter<surface>("o:delete_surface self", "surface *"),
        qb::klass<surface>("surface", {{"-rb", true}, {"-surf"}}),
    };
}


// One Voronoi cell of an image: profiles, boundary averages, point test.
#include "imgclass/analysis/voronoi.h"
#include "binding/runtime.h"

std::vector<qb::Entry> qb::tables::Voronoischnitt_commands() {
    return {
        qb::fn(qb::sig("oooo:new_Voronoischnitt bfl xmitte_ ymitte_ vorofile",
                       {"bildfloat &", "float", "float", "char const *"},
                       [](bildfloat& b, float x, float y, const char* file) {
                           return qb::dependent(new Voronoischnitt(b, x, y, file), b);
                       })),
        qb::deleter<Voronoischnitt>("o:delete_Voronoischnitt self", "Voronoischnitt *"),
        qb::fn(qb::sig("oo:Voronoischnitt_compute_schnitt self nr", {"Voronoischnitt *", "int"},
                       [](Voronoischnitt& v, int nr) { v.compute_schnitt(nr); })),
        qb::fn(qb::sig("o:Voronoischnitt_boundary_average self", {"Voronoischnitt *"},
                       [](Voronoischnitt& v) { return v.boundary_average(); })),
        qb::fn(qb::sig("oo:Voronoischnitt_stddev_set self stddev",
                       {"Voronoischnitt *", "double"},
                       [](Voronoischnitt& v, double s) { v.stddev = s; })),
        qb::fn(qb::sig("o:Voronoischnitt_stddev_get self", {"Voronoischnitt *"},
                       [](Voronoischnitt& v) { return v.stddev; })),
        qb::fn(qb::sig("ooo:Voronoischnitt_contains self x y",
                       {"Voronoischnitt *", "float", "float"},
                       qb::mem<&Voronoischnitt::contains>())),
        qb::klass<Voronoischnitt>("Voronoischnitt", {{"-stddev"}}),
    };
}


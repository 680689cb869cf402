// Parabelzentrum, the paraboloid fit of one peak.
#include "imgclass/bildfloat.h"
#include "imgclass/parabelzentrum.h"
#include "runtime.h"

namespace {

using P = Parabelzentrum;

// The object keeps a reference to its image, which the script may delete
// first: put reads pixels only from an image that is still registered.
void put(P& p, int x, int y) {
    if (!qb::find_object(&p.image(), qb::T_bildfloat))
        throw quenz::Error("Parabelzentrum_put: the image of this Parabelzentrum no longer exists");
    p.put(x, y);
}

qb::Group g_parabelzentrum(10, {
    qb::fn(qb::sig("oo:Parabelzentrum_koeff_set self koeff", {"Parabelzentrum *", "double *"},
                   [](P& p, double* k) { p.set_koeff(k); })),
    qb::fn(qb::sig("o:Parabelzentrum_koeff_get self", {"Parabelzentrum *"},
                   // Points into the object and dies with it.
                   [](P& p) { return qb::inner(p.koeff(), p); })),
    qb::fn(qb::sig("oo:new_Parabelzentrum bild_ pktmax_", {"bildfloat const &", "int"},
                   [](const bildfloat& b, int n) { return new P(b, n); })),
    qb::deleter<P>("o:delete_Parabelzentrum self", "Parabelzentrum *"),
    qb::fn(qb::sig("ooo:Parabelzentrum_estimate self x y", {"Parabelzentrum *", "double", "double"},
                   qb::mem<&P::estimate>())),
    qb::fn(qb::sig("ooo:Parabelzentrum_put self x y", {"Parabelzentrum *", "int", "int"},
                   [](P& p, int x, int y) { put(p, x, y); })),
    qb::fn(qb::sig("o:Parabelzentrum_clear self", {"Parabelzentrum *"}, qb::mem<&P::clear>())),
    qb::fn(qb::sig("o:Parabelzentrum_fit self", {"Parabelzentrum *"}, qb::mem<&P::fit>())),
    qb::fn(qb::sig("o:Parabelzentrum_x self", {"Parabelzentrum *"}, qb::mem<&P::x>())),
    qb::fn(qb::sig("o:Parabelzentrum_y self", {"Parabelzentrum *"}, qb::mem<&P::y>())),
    qb::fn(qb::sig("o:Parabelzentrum_height self", {"Parabelzentrum *"}, qb::mem<&P::height>())),
    qb::fn(qb::sig("o:Parabelzentrum_s_x self", {"Parabelzentrum *"}, qb::mem<&P::s_x>())),
    qb::fn(qb::sig("o:Parabelzentrum_s_y self", {"Parabelzentrum *"}, qb::mem<&P::s_y>())),
    qb::fn(qb::sig("o:Parabelzentrum_s_height self", {"Parabelzentrum *"},
                   qb::mem<&P::s_height>())),
    qb::klass<P>("Parabelzentrum",
                 {"estimate", "put", "clear", "fit", "x", "y", "height", "s_x", "s_y", "s_height"},
                 {{"-koeff"}}),
});

}  // namespace

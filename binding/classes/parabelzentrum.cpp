// Parabelzentrum, the paraboloid fit of one peak.
#include "imgclass/core/bildfloat.h"
#include "imgclass/analysis/parabelzentrum.h"
#include "binding/runtime.h"

namespace {

using P = Parabelzentrum;

}  // namespace

std::vector<qb::Entry> qb::tables::Parabelzentrum_commands() {
    return {
        qb::fn(qb::sig("oo:Parabelzentrum_koeff_set self koeff", {"Parabelzentrum *", "double *"},
                       [](P& p, double* k) { p.set_koeff(k); })),
        qb::fn(qb::sig("o:Parabelzentrum_koeff_get self", {"Parabelzentrum *"},
                       // Points into the object and dies with it.
                       [](P& p) { return qb::inner(p.koeff(), p); })),
        qb::fn(qb::sig("oo:new_Parabelzentrum bild_ pktmax_", {"bildfloat const &", "int"},
                       // Unusable once its image is gone.
                       [](const bildfloat& b, int n) { return qb::dependent(new P(b, n), b); })),
        qb::deleter<P>("o:delete_Parabelzentrum self", "Parabelzentrum *"),
        qb::fn(qb::sig("ooo:Parabelzentrum_estimate self x y", {"Parabelzentrum *", "double", "double"},
                       qb::mem<&P::estimate>())),
        qb::fn(qb::sig("ooo:Parabelzentrum_put self x y", {"Parabelzentrum *", "int", "int"},
                       qb::mem<&P::put>())),
        qb::fn(qb::sig("o:Parabelzentrum_clear self", {"Parabelzentrum *"}, qb::mem<&P::clear>())),
        qb::fn(qb::sig("o:Parabelzentrum_fit self", {"Parabelzentrum *"}, qb::mem<&P::fit>())),
        qb::fn(qb::sig("o:Parabelzentrum_x self", {"Parabelzentrum *"}, qb::mem<&P::x>())),
        qb::fn(qb::sig("o:Parabelzentrum_y self", {"Parabelzentrum *"}, qb::mem<&P::y>())),
        qb::fn(qb::sig("o:Parabelzentrum_height self", {"Parabelzentrum *"}, qb::mem<&P::height>())),
        qb::fn(qb::sig("o:Parabelzentrum_s_x self", {"Parabelzentrum *"}, qb::mem<&P::s_x>())),
        qb::fn(qb::sig("o:Parabelzentrum_s_y self", {"Parabelzentrum *"}, qb::mem<&P::s_y>())),
        qb::fn(qb::sig("o:Parabelzentrum_s_height self", {"Parabelzentrum *"},
                       qb::mem<&P::s_height>())),
        qb::klass<P>("Parabelzentrum", {{"-koeff"}}),
    };
}


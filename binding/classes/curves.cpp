// Calibration curves: the abstract eichkurve and its three kinds, plus the
// image conversion bildfloat_apply_eichkurve.
#include "imgclass/core/bildfloat.h"
#include "imgclass/curves/exp4kurve.h"
#include "imgclass/curves/expkurve.h"
#include "imgclass/curves/tablekurve.h"
#include "binding/runtime.h"

namespace {

// eichfun, deichfun_dx and initguess, reached through the type K itself.
template <class K>
void add_model_methods(std::vector<qb::Entry>& v, const std::string& cls) {
    std::string self = cls + " const *";
    auto fmt = [&](const char* m, const char* arg) { return "oo:" + cls + "_" + m + " self " + arg; };
    v.push_back(qb::fn(qb::sig(fmt("eichfun", "x").c_str(), {self.c_str(), "double"},
                               qb::mem<&K::eichfun>())));
    v.push_back(qb::fn(qb::sig(fmt("deichfun_dx", "x").c_str(), {self.c_str(), "double"},
                               qb::mem<&K::deichfun_dx>())));
    v.push_back(qb::fn(qb::sig(fmt("initguess", "val").c_str(), {self.c_str(), "bild16::data_t"},
                               qb::mem<&K::initguess>())));
}

// A concrete curve: its constructor, model methods, destructor and class
// command, with handles accepted wherever an eichkurve is expected.
template <class K>
std::vector<qb::Entry> curve_kind(const char* cls, qb::Entry ctor) {
    std::string c = cls;
    std::vector<qb::Entry> v{std::move(ctor)};
    add_model_methods<K>(v, c);
    v.push_back(qb::deleter<K>(("o:delete_" + c + " self").c_str(), (c + " *").c_str()));
    v.push_back(qb::klass<K>(cls));
    v.push_back(qb::upcast<K, eichkurve>());
    return v;
}

std::vector<qb::Entry> base_commands() {
    std::vector<qb::Entry> v{
        qb::deleter<eichkurve>("o:delete_eichkurve self", "eichkurve *"),
        qb::fn(qb::sig("oo:eichkurve_apply self val", {"eichkurve const *", "bild16::data_t"},
                       qb::mem<&eichkurve::apply>())),
    };
    add_model_methods<eichkurve>(v, "eichkurve");
    v.push_back(qb::fn(qb::sig("oo:eichkurve_table_write self name",
                               {"eichkurve const *", "char const *"},
                               qb::mem<&eichkurve::table_write>())));
    // No constructor: the class command answers "No constructor available.".
    v.push_back(qb::klass<eichkurve>("eichkurve"));
    return v;
}

}  // namespace

std::vector<qb::Entry> qb::tables::eichkurve_commands() {
    return base_commands();
}

std::vector<qb::Entry> qb::tables::expkurve_commands() {
    return curve_kind<expkurve>(
           "expkurve",
           qb::fn(qb::sig("oooooo:new_expkurve sA sg1 sg2 sg3 sf1 sf2",
                          {"double", "double", "double", "double", "double", "double"},
                          [](double a, double g1, double g2, double g3, double f1, double f2) {
                              return new expkurve(a, g1, g2, g3, f1, f2);
                          })));
}

std::vector<qb::Entry> qb::tables::exp4kurve_commands() {
    return curve_kind<exp4kurve>(
           "exp4kurve",
           qb::fn(qb::sig("oooooooo:new_exp4kurve sA sa1 sa2 sa3 sb1 sb2 sb3 sb4",
                          {"double", "double", "double", "double", "double", "double", "double",
                           "double"},
                          [](double a, double a1, double a2, double a3, double b1, double b2,
                             double b3, double b4) {
                              return new exp4kurve(a, a1, a2, a3, b1, b2, b3, b4);
                          })));
}

std::vector<qb::Entry> qb::tables::tablekurve_commands() {
    return curve_kind<tablekurve>(
                              "tablekurve",
                              qb::fn(qb::sig("o:new_tablekurve fname", {"char const *"},
                                             [](const char* f) { return new tablekurve(f); })));
}

std::vector<qb::Entry> qb::tables::bildfloat_apply_eichkurve_commands() {
    return {qb::listed_at(8, qb::fn(qb::sig("oo:bildfloat_apply_eichkurve self ek",
                                            {"bildfloat *", "eichkurve const &"},
                                            qb::mem<&bildfloat::apply_eichkurve>())))};
}


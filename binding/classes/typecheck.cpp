// `typecheck value`: the name of the first class whose type accepts value.
#include "binding/runtime.h"

namespace {

#define QB_CHECK(T) \
    qb::sig("o:typecheck dummy ", {#T " const &"}, [](const T&) { return #T; })

}  // namespace

std::vector<qb::Entry> qb::tables::typecheck_commands() {
    return {qb::over("typecheck", {
                                                     QB_CHECK(bildfloat),
                                                     QB_CHECK(bild16),
                                                     QB_CHECK(bildcomplex),
                                                     QB_CHECK(QRfit),
                                                     QB_CHECK(Parabelzentrum),
                                                     QB_CHECK(tablekurve),
                                                     QB_CHECK(Voronoischnitt),
                                                     QB_CHECK(expkurve),
                                                     QB_CHECK(exp4kurve),
                                                 })};
}

namespace {
#undef QB_CHECK

}  // namespace

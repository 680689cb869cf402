// `typecheck value`: the name of the first class whose type accepts value.
#include "runtime.h"

namespace {

#define QB_CHECK(T) \
    qb::sig("o:typecheck dummy ", {#T " const &"}, [](const T&) { return #T; })

qb::Group g_typecheck(17, {qb::over("typecheck", {
                                                     QB_CHECK(bildfloat),
                                                     QB_CHECK(bild16),
                                                     QB_CHECK(bildcomplex),
                                                     QB_CHECK(QRfit),
                                                     QB_CHECK(Parabelzentrum),
                                                     QB_CHECK(tablekurve),
                                                     QB_CHECK(Voronoischnitt),
                                                     QB_CHECK(expkurve),
                                                     QB_CHECK(exp4kurve),
                                                 })});
#undef QB_CHECK

}  // namespace

// Commands of bildfloat: construction, gnuplot files, conversion and
// operators. Filters and corrections add their commands in their own files.
#include "imgclass/core/bildfloat.h"

#include "imgclass/core/bild16.h"
#include "operators.h"

namespace {

using F = bildfloat;
constexpr const char* self = "bildfloat *";
constexpr const char* img = "bildfloat const &";

template <F& (F::*I)(const F&), F& (F::*S)(float)>
qb::Entry op(const char* name, const char* fmt) {
    return qb::image_operator<I, S>(name, fmt, fmt, self, img, "float");
}

}  // namespace

std::vector<qb::Entry> qb::tables::bildfloat_commands() {
    return {
        qb::over("new_bildfloat",
                 {qb::sig(":new_bildfloat", {}, [] { return new bildfloat(); }),
                  qb::sig("o:new_bildfloat aufnahme", {"bild16 const &"},
                          [](const bild16& b) { return new bildfloat(b); }),
                  qb::sig("o:new_bildfloat regio", {"region_t const &"},
                          [](const region_t& r) { return new bildfloat(r); }),
                  qb::sig("o:new_bildfloat bfl", {img}, [](const bildfloat& b) { return new bildfloat(b); }),
                  qb::sig("o:new_bildfloat name", {"char const *"},
                          [](const char* n) { return new bildfloat(n); })}),
        qb::deleter<bildfloat>("o:delete_bildfloat self", self),
        qb::listed_at(0, qb::fn(qb::sig("oo:bildfloat_write_gnuplot self name",
                                        {"bildfloat const *", "char const *"}, qb::mem<&F::write_gnuplot>()))),
        qb::listed_at(1, qb::fn(qb::sig("oo:bildfloat_read_gnuplot self name", {self, "char const *"},
                                        qb::mem<&F::read_gnuplot>()))),
        qb::listed_at(2, qb::fn(qb::sig("oo:bildfloat_from_bild16 self aufnahme", {self, "bild16 const &"},
                                        qb::mem<&F::from_bild16>()))),
        qb::listed_at(3, qb::image_operator<static_cast<F& (F::*)(const F&)>(&F::operator=),
                                            static_cast<F& (F::*)(F::data_t)>(&F::operator=)>(
                             "bildfloat_=", "oo:bildfloat_= self bfl", "oo:bildfloat_= self what", self, img,
                             "imgbase< 512,512,float >::data_t")),
        qb::listed_at(4, op<&F::operator*=, &F::operator*=>("bildfloat_*=", "oo:bildfloat_*= self what")),
        qb::listed_at(5, op<&F::operator/=, &F::operator/=>("bildfloat_/=", "oo:bildfloat_/= self what")),
        qb::listed_at(6, op<&F::operator-=, &F::operator-=>("bildfloat_-=", "oo:bildfloat_-= self what")),
        qb::listed_at(7, op<&F::operator+=, &F::operator+=>("bildfloat_+=", "oo:bildfloat_+= self what")),
        qb::upcast<bildfloat, bildfloat_base>(),
        qb::klass<bildfloat>("bildfloat"),
    };
}


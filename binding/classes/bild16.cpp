// Commands of bild16: construction, HIS files, conversion and operators.
#include "imgclass/core/bild16.h"

#include "imgclass/core/bildfloat.h"
#include "operators.h"

namespace {

using B = bild16;
using V = B::data_t;
constexpr const char* self = "bild16 *";
constexpr const char* img = "bild16 const &";
constexpr const char* val = "imgbase< 512,512,unsigned short >::data_t";

template <B& (B::*I)(const B&), B& (B::*S)(V)>
qb::Entry op(const char* name, const char* fmt, const char* img_fmt = nullptr) {
    return qb::image_operator<I, S>(name, img_fmt ? img_fmt : fmt, fmt, self, img, val);
}

}  // namespace

std::vector<qb::Entry> qb::tables::bild16_commands() {
    return {
        qb::over("new_bild16",
                 {qb::sig(":new_bild16", {}, [] { return new bild16(); }),
                  qb::sig("o:new_bild16 bmp", {img}, [](const bild16& b) { return new bild16(b); }),
                  qb::sig("o:new_bild16 fname", {"char const *"}, [](const char* f) { return new bild16(f); })}),
        qb::deleter<bild16>("o:delete_bild16 self", self),
        // (the pixels arrive in a block of their own that replaces the old)
        qb::listed_at(3, qb::alone(qb::fn(qb::sig("oo:bild16_read_his self name", {self, "char const *"},
                                                  qb::mem<&B::read_his>())))),
        qb::listed_at(4, qb::fn(qb::sig("oo:bild16_write_his self name", {"bild16 const *", "char const *"},
                                        qb::mem<&B::write_his>()))),
        qb::listed_at(9, qb::over("bild16_fromfloat",
                 {qb::sig("ooo:bild16_fromfloat self bf max", {self, "bildfloat const &", "float"},
                          qb::mem<&B::fromfloat>()),
                  qb::sig("oo:bild16_fromfloat self bf", {self, "bildfloat const &"},
                          [](bild16& b, const bildfloat& f) { b.fromfloat(f); })})),
        qb::listed_at(10, op<&B::operator=, &B::operator=>("bild16_=", "oo:bild16_= self what", "oo:bild16_= self b")),
        qb::listed_at(11, op<&B::operator*=, &B::operator*=>("bild16_*=", "oo:bild16_*= self what")),
        qb::listed_at(12, op<&B::operator/=, &B::operator/=>("bild16_/=", "oo:bild16_/= self what")),
        qb::listed_at(13, op<&B::operator-=, &B::operator-=>("bild16_-=", "oo:bild16_-= self what")),
        qb::listed_at(14, op<&B::operator+=, &B::operator+=>("bild16_+=", "oo:bild16_+= self what")),
        qb::upcast<bild16, bild16_base>(),
        qb::klass<bild16>("bild16"),
    };
}

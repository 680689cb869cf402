// The type table: mangled and readable names, which handles each type
// accepts, and the destructor and class of each type.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "types.h"

namespace qb {
namespace {

constexpr std::uint32_t bit(Ty t) { return std::uint32_t{1} << t; }

TypeRecord table[T_count] = {
    {"_p_COMPLEX", "COMPLEX *", bit(T_COMPLEX), T_COMPLEX},
    {"_p_Parabelzentrum", "Parabelzentrum *", bit(T_Parabelzentrum), T_Parabelzentrum},
    {"_p_QRfit", "QRfit *", bit(T_QRfit), T_QRfit},
    {"_p_Voronoischnitt", "Voronoischnitt *", bit(T_Voronoischnitt), T_Voronoischnitt},
    {"_p_bild16", "bild16 *", bit(T_bild16), T_b16base},
    {"_p_bildcomplex", "bildcomplex *", bit(T_bildcomplex), T_cbase},
    {"_p_bildfloat", "bildfloat *", bit(T_bildfloat), T_fbase},
    {"_p_char", "char *", bit(T_char), T_char},
    {"_p_data_t", "data_t *", bit(T_data_t), T_data_t},
    {"_p_double", "double *", bit(T_double), T_double},
    {"_p_eichkurve", "eichkurve *",
     bit(T_eichkurve) | bit(T_expkurve) | bit(T_exp4kurve) | bit(T_tablekurve), T_eichkurve},
    {"_p_exp4kurve", "exp4kurve *", bit(T_exp4kurve), T_eichkurve},
    {"_p_expkurve", "expkurve *", bit(T_expkurve), T_eichkurve},
    {"_p_float", "float *", bit(T_float), T_float},
    {"_p_imgbaseT_512_512_COMPLEX_t", "imgbase< 512,512,COMPLEX > *|bildcomplex_base *",
     bit(T_cbase) | bit(T_bildcomplex), T_cbase},
    {"_p_imgbaseT_512_512_bool_t", "region_t *|imgbase< 512,512,bool > *|region_base *",
     bit(T_region), T_region},
    {"_p_imgbaseT_512_512_float_t", "imgbase< 512,512,float > *|bildfloat_base *",
     bit(T_fbase) | bit(T_bildfloat), T_fbase},
    {"_p_imgbaseT_512_512_std__valarrayT_float_t_t",
     "imgbase< 512,512,std::valarray< float > > *|interpol_base *", bit(T_interpol), T_interpol},
    {"_p_imgbaseT_512_512_unsigned_short_t",
     "imgbase< 512,512,unsigned short > *|bild16_base *", bit(T_b16base) | bit(T_bild16),
     T_b16base},
    {"_p_int", "int *", bit(T_int), T_int},
    {"_p_std__valarrayT_float_t", "std::valarray< float > *|lut *", bit(T_lut), T_lut},
    {"_p_surface", "surface *", bit(T_surface), T_surface},
    {"_p_tablekurve", "tablekurve *", bit(T_tablekurve), T_eichkurve},
    {"_p_vec2d", "vec2d *", bit(T_vec2d), T_vec2d},
};

void* (*casts[T_count][T_count])(void*) = {};

bool same_ignoring_blanks(const char* a, const char* aend, const char* b) {
    for (;;) {
        while (a < aend && *a == ' ') ++a;
        while (*b == ' ') ++b;
        if (a == aend || *b == '\0') return a == aend && *b == '\0';
        if (*a++ != *b++) return false;
    }
}

}  // namespace

TypeRecord& type_record(Ty t) { return table[t]; }
const char* mangled_name(Ty t) { return table[t].mangled; }

Ty type_by_mangled(const char* name, std::size_t len) {
    std::string_view key(name, len);
    auto it = std::lower_bound(std::begin(table), std::end(table), key,
                               [](const TypeRecord& r, std::string_view k) { return r.mangled < k; });
    if (it != std::end(table) && it->mangled == key) return Ty(it - std::begin(table));
    return T_count;
}

Ty type_by_readable(const char* name) {
    Ty t = type_by_mangled(name, std::strlen(name));
    if (t != T_count) return t;
    for (int i = 0; i < T_count; ++i) {
        const char* p = table[i].readable;
        while (true) {
            const char* bar = std::strchr(p, '|');
            const char* end = bar ? bar : p + std::strlen(p);
            if (same_ignoring_blanks(p, end, name)) return Ty(i);
            if (!bar) break;
            p = bar + 1;
        }
    }
    return T_count;
}

void set_destructor(Ty t, void (*dtor)(void*)) { table[t].dtor = dtor; }
void set_upcast(Ty from, Ty to, void* (*cast)(void*)) { casts[from][to] = cast; }

void* cast_address(void* addr, Ty from, Ty to) {
    if (!addr || from == to || !casts[from][to]) return addr;
    return casts[from][to](addr);
}

}  // namespace qb

// The pointer types that cross the Tcl boundary: their ids, the C++ types
// they stand for, and the type table (names, accepted handles, casts).
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "imgclass/core/imgbase.h"

class bild16;
class bildfloat;
class bildcomplex;
class eichkurve;
class expkurve;
class exp4kurve;
class tablekurve;
class QRfit;
class Parabelzentrum;
class surface;
class vec2d;
class Voronoischnitt;

namespace qb {

struct ClassDesc;

// Sorted by mangled name (the type table is searched by it; types.cpp
// checks the order when it is compiled).
enum Ty : int {
    T_COMPLEX, T_Parabelzentrum, T_QRfit, T_Voronoischnitt, T_bild16, T_bildcomplex,
    T_bildfloat, T_char, T_data_t, T_double, T_eichkurve, T_exp4kurve, T_expkurve,
    T_float, T_cbase, T_region, T_fbase, T_interpol, T_b16base, T_int, T_lut,
    T_surface, T_tablekurve, T_vec2d, T_count
};

template <class T> struct TypeOf;
#define QB_TYPE(cls, ty) template <> struct TypeOf<cls> { static constexpr Ty value = ty; }
QB_TYPE(COMPLEX, T_COMPLEX);
QB_TYPE(Parabelzentrum, T_Parabelzentrum);
QB_TYPE(QRfit, T_QRfit);
QB_TYPE(Voronoischnitt, T_Voronoischnitt);
QB_TYPE(bild16, T_bild16);
QB_TYPE(bildcomplex, T_bildcomplex);
QB_TYPE(bildfloat, T_bildfloat);
QB_TYPE(char, T_char);
QB_TYPE(double, T_double);
QB_TYPE(eichkurve, T_eichkurve);
QB_TYPE(exp4kurve, T_exp4kurve);
QB_TYPE(expkurve, T_expkurve);
QB_TYPE(float, T_float);
QB_TYPE(bildcomplex_base, T_cbase);
QB_TYPE(region_t, T_region);
QB_TYPE(bildfloat_base, T_fbase);
QB_TYPE(interpol_base, T_interpol);
QB_TYPE(bild16_base, T_b16base);
QB_TYPE(int, T_int);
QB_TYPE(lut, T_lut);
QB_TYPE(surface, T_surface);
QB_TYPE(tablekurve, T_tablekurve);
QB_TYPE(vec2d, T_vec2d);
#undef QB_TYPE

template <class T, class = void> struct is_table_type : std::false_type {};
template <class T>
struct is_table_type<T, std::void_t<decltype(TypeOf<T>::value)>> : std::true_type {};

struct TypeRecord {
    const char* mangled;
    const char* readable;
    std::uint32_t accepts = 0;  // bit per Ty whose handles this type accepts
    Ty family = T_count;        // root of the inheritance family (address lookup)
    void (*dtor)(void*) = nullptr;
    ClassDesc* cls = nullptr;
};

TypeRecord& type_record(Ty t);
const char* mangled_name(Ty t);
// Binary search by mangled name; T_count if unknown.
Ty type_by_mangled(const char* name, std::size_t len);
// Mangled name or one of the readable names (blanks ignored).
Ty type_by_readable(const char* name);

void set_destructor(Ty t, void (*dtor)(void*));
void set_upcast(Ty from, Ty to, void* (*cast)(void*));
void* cast_address(void* addr, Ty from, Ty to);

template <class T> void destroy_as(void* p) { delete static_cast<T*>(p); }
template <class From, class To> void* upcast_fn(void* p) {
    return static_cast<To*>(static_cast<From*>(p));
}

}  // namespace qb

// A minimum and maximum (getminmax, getimage_range) as a two-element list
// of numbers.
#pragma once
#include <type_traits>

#include "results.h"
#include "render/render.h"

namespace qb {

template <class T> struct Ret<quenz::minmax_t<T>> {
    static Tcl_Obj* num(T v) {
        if constexpr (std::is_integral_v<T>)
            return Tcl_NewIntObj(v);
        else
            return Tcl_NewDoubleObj(double(v));
    }
    static void set(Tcl_Interp* i, quenz::minmax_t<T> r) {
        Tcl_SetObjResult(i, num(r.min));
        Tcl_ListObjAppendElement(i, Tcl_GetObjResult(i), num(r.max));
    }
};

}  // namespace qb

// Lists of numbers across the boundary: a row of pixel values as an
// argument, and number lists (rows, histograms, profiles) as results.
#pragma once
#include <cmath>
#include <span>
#include <type_traits>
#include <vector>

#include "binding/runtime.h"

namespace qb {

// A list of pixel values. Each element converts as a single value of T
// would, and its failure is the argument's (TypeError, OverflowError). For
// floats, NaN (as Tcl writes it: "NaN", "-NaN", "NaN(payload)") is
// accepted, so that a row read with getrow goes back with setrow.
template <class T> struct Values {
    std::span<const T> v;
};

inline int get_value(Tcl_Interp* i, Tcl_Obj* o, unsigned short* v) { return get_ushort(i, o, v); }
inline int get_value(Tcl_Interp* i, Tcl_Obj* o, float* v) {
    int rc = get_float(i, o, v);
    if (rc == E_TYPE) {
        // Tcl parsed the text as a NaN ("NaN", "-NaN", "NaN(1234)") and
        // keeps it, payload and sign included, as the value's double.
        static const Tcl_ObjType* const dbl = Tcl_GetObjType("double");
        if (dbl && o->typePtr == dbl && std::isnan(o->internalRep.doubleValue)) {
            *v = float(o->internalRep.doubleValue);
            return OK;
        }
    }
    return rc;
}

template <class T> struct Arg<Values<T>> {
    static bool names(std::string_view t) {
        return t == (std::is_same_v<T, float> ? "float []" : "unsigned short []");
    }
    using stored = std::vector<T>;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) {
        int n;
        Tcl_Obj** elems;
        if (Tcl_ListObjGetElements(nullptr, o, &n, &elems) != TCL_OK) return E_TYPE;
        s.resize(std::size_t(n));
        for (int k = 0; k < n; ++k)
            if (int rc = get_value(i, elems[k], &s[std::size_t(k)]); rc != OK) return rc;
        return OK;
    }
    static Values<T> pass(stored& s) { return {s}; }
};

// Integers as integers, floats widened to double.
template <class T> struct Ret<std::vector<T>, std::enable_if_t<std::is_arithmetic_v<T>>> {
    static Tcl_Obj* one(T v) {
        if constexpr (std::is_integral_v<T>)
            return Tcl_NewWideIntObj(Tcl_WideInt(v));
        else
            return Tcl_NewDoubleObj(double(v));
    }
    static void set(Tcl_Interp* i, const std::vector<T>& v) {
        std::vector<Tcl_Obj*> objs(v.size());
        for (std::size_t k = 0; k < v.size(); ++k) objs[k] = one(v[k]);
        Tcl_SetObjResult(i, Tcl_NewListObj(int(objs.size()), objs.data()));
    }
};

}  // namespace qb

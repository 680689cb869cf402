// Ret<R>: how a command body's result of type R becomes the interpreter
// result. A reference or pointer to a table type becomes its (non-owning)
// handle, a class value an owned copy; the wrappers below say more.
#pragma once
#include <string>
#include <type_traits>
#include <utility>

#include "instances.h"

namespace qb {

// A pointer into an object (a pixel, a coefficient array): registered with
// the object as its owner, so that it dies with it.
template <class T> struct Inner {
    T* ptr;
    const void* owner;
    Ty owner_type;
};
template <class T, class O> Inner<T> inner(T* p, const O& owner) {
    return {p, &owner, TypeOf<O>::value};
}

// A new object that keeps a reference to another (an analysis object and
// its image): it becomes unusable when that object is destroyed.
template <class T> struct Dependent {
    T* ptr;
    const void* on;
    Ty on_type;
};
template <class T, class O> Dependent<T> dependent(T* p, const O& on) {
    return {p, &on, TypeOf<O>::value};
}

// An object made by the call and handed to the script with ownership
// (objects returned by value).
template <class T> struct Owned {
    T* ptr;
};

template <class R, class = void> struct Ret;
template <> struct Ret<void> {};
// A number goes into the interpreter's result object when no one else
// holds it, as Tcl's own commands do: no allocation on the common path.
template <class V>
void set_number_result(Tcl_Interp* i, V v, Tcl_Obj* (*make)(V), void (*put)(Tcl_Obj*, V)) {
    Tcl_Obj* r = Tcl_GetObjResult(i);
    if (Tcl_IsShared(r))
        Tcl_SetObjResult(i, make(v));
    else
        put(r, v);
}
inline void set_wide_result(Tcl_Interp* i, Tcl_WideInt v) {
    set_number_result<Tcl_WideInt>(i, v, Tcl_NewWideIntObj, Tcl_SetWideIntObj);
}
inline void set_double_result(Tcl_Interp* i, double v) {
    set_number_result<double>(i, v, Tcl_NewDoubleObj, Tcl_SetDoubleObj);
}
template <> struct Ret<int> {
    static void set(Tcl_Interp* i, int v) { set_wide_result(i, v); }
};
template <> struct Ret<long> {
    static void set(Tcl_Interp* i, long v) { set_wide_result(i, v); }
};
template <> struct Ret<unsigned short> {
    static void set(Tcl_Interp* i, unsigned short v) { set_wide_result(i, v); }
};
template <> struct Ret<double> {
    static void set(Tcl_Interp* i, double v) { set_double_result(i, v); }
};
template <> struct Ret<float> {
    static void set(Tcl_Interp* i, float v) { set_double_result(i, double(v)); }
};
template <> struct Ret<bool> {
    static void set(Tcl_Interp* i, bool v) { Tcl_SetObjResult(i, Tcl_NewBooleanObj(v)); }
};
template <> struct Ret<const char*> {
    static void set(Tcl_Interp* i, const char* v) {
        Tcl_SetObjResult(i, Tcl_NewStringObj(v ? v : "", -1));
    }
};
template <> struct Ret<std::string> {
    static void set(Tcl_Interp* i, const std::string& v) {
        Tcl_SetObjResult(i, Tcl_NewStringObj(v.data(), int(v.size())));
    }
};
template <> struct Ret<Tcl_Obj*> {
    static void set(Tcl_Interp* i, Tcl_Obj* v) { Tcl_SetObjResult(i, v); }
};
template <class T>
struct Ret<T*, std::enable_if_t<is_table_type<std::remove_const_t<T>>::value>> {
    static void set(Tcl_Interp* i, T* p) {
        if (!p) {
            Tcl_SetObjResult(i, Tcl_NewStringObj("NULL", -1));
            return;
        }
        using U = std::remove_const_t<T>;
        Tcl_SetObjResult(i, new_instance(i, const_cast<U*>(p), TypeOf<U>::value, false));
    }
};
template <class T>
struct Ret<T&, std::enable_if_t<is_table_type<std::remove_const_t<T>>::value>> {
    static void set(Tcl_Interp* i, T& r) { Ret<T*>::set(i, &r); }
};
template <class T> struct Ret<Inner<T>> {
    static void set(Tcl_Interp* i, Inner<T> r) {
        Id owner = find_object(r.owner, r.owner_type);
        Tcl_SetObjResult(i, new_instance(i, r.ptr, TypeOf<T>::value, false, owner));
    }
};
template <class T> struct Ret<Dependent<T>> {
    static void set(Tcl_Interp* i, Dependent<T> r) {
        Id on = find_object(r.on, r.on_type);
        Tcl_Obj* h = new_instance(i, r.ptr, TypeOf<T>::value, false);
        depends(find_object(r.ptr, TypeOf<T>::value), on);
        Tcl_SetObjResult(i, h);
    }
};
template <class T> struct Ret<Owned<T>> {
    static void set(Tcl_Interp* i, Owned<T> r) {
        Tcl_SetObjResult(i, new_instance(i, r.ptr, TypeOf<T>::value, true));
    }
};
// Class objects returned by value: a heap copy owned by its handle's command.
template <class T>
struct Ret<T, std::enable_if_t<std::is_class_v<T> && is_table_type<T>::value>> {
    static void set(Tcl_Interp* i, T&& v) { Ret<Owned<T>>::set(i, Owned<T>{new T(std::move(v))}); }
};

}  // namespace qb

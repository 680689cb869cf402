// Arg<T>: how a parameter of type T of a command body is converted from
// its Tcl word. get() converts into `stored`, pass() hands it to the call.
#pragma once
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "convert.h"
#include "safety.h"

namespace qb {

template <class T, class = void> struct Arg;

// Each Arg also says which argument-type texts name its parameter type
// (names): the texts of the messages ("argument 2 of type 'int'"), checked
// against the body at load.
bool names_object(Ty t, std::string_view text, bool is_const, char mark);

template <> struct Arg<int> {
    static bool names(std::string_view t) { return t == "int"; }
    using stored = int;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_int(i, o, &s); }
    static int pass(stored& s) { return s; }
};
template <> struct Arg<long> {
    static bool names(std::string_view t) { return t == "long"; }
    using stored = long;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_long(i, o, &s); }
    static long pass(stored& s) { return s; }
};
template <> struct Arg<unsigned short> {
    static bool names(std::string_view t) {
        return t == "unsigned short" || t == "bild16::data_t" || t == "imgbase< 512,512,unsigned short >::data_t";
    }
    using stored = unsigned short;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_ushort(i, o, &s); }
    static unsigned short pass(stored& s) { return s; }
};
template <> struct Arg<double> {
    static bool names(std::string_view t) { return t == "double"; }
    using stored = double;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_double(i, o, &s); }
    static double pass(stored& s) { return s; }
};
template <> struct Arg<float> {
    static bool names(std::string_view t) { return t == "float" || t == "imgbase< 512,512,float >::data_t"; }
    using stored = float;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_float(i, o, &s); }
    static float pass(stored& s) { return s; }
};
template <> struct Arg<bool> {
    static bool names(std::string_view t) { return t == "bool"; }
    using stored = int;
    static int get(Tcl_Interp*, Tcl_Obj* o, stored& s, int) {
        return Tcl_GetBooleanFromObj(nullptr, o, &s) == TCL_OK ? OK : E_TYPE;
    }
    static bool pass(stored& s) { return s != 0; }
};
// A `const char*` parameter is a file name: refused in a safe interpreter
// before any file is touched (overload probes still match, so the error
// names the command). Other text parameters take std::string_view.
template <> struct Arg<const char*> {
    static bool names(std::string_view t) { return t == "char const *"; }
    using stored = const char*;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int flags) {
        if (!(flags & F_PROBE) && !file_access_allowed(i)) return E_UNSAFE;
        s = Tcl_GetString(o);
        return OK;
    }
    static const char* pass(stored& s) { return s; }
};
template <> struct Arg<std::string_view> {
    static bool names(std::string_view t) { return t == "std::string_view"; }
    using stored = std::string_view;
    static int get(Tcl_Interp*, Tcl_Obj* o, stored& s, int) {
        int len;
        const char* p = Tcl_GetStringFromObj(o, &len);
        s = std::string_view(p, std::size_t(len));
        return OK;
    }
    static std::string_view pass(stored& s) { return s; }
};
// A Tcl list of numbers, narrowed to float (the INARRAY kernels).
template <> struct Arg<std::span<const float>> {
    static bool names(std::string_view t) { return t == "float []" || t == "float *"; }
    using stored = std::vector<float>;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_floats(i, o, &s); }
    static std::span<const float> pass(stored& s) { return s; }
};
// Pointers to table types: null passes (refused only as self).
template <class T>
struct Arg<T*, std::enable_if_t<is_table_type<std::remove_const_t<T>>::value>> {
    static constexpr Ty object = TypeOf<std::remove_const_t<T>>::value;
    static bool names(std::string_view t) { return names_object(object, t, std::is_const_v<T>, '*'); }
    using stored = void*;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int flags) {
        int rc = convert_ptr(i, o, TypeOf<std::remove_const_t<T>>::value, &s, flags);
        if (rc == OK && !s && (flags & F_SELF)) return E_NULLREF;
        return rc;
    }
    static T* pass(stored& s) { return static_cast<T*>(s); }
};
// References (and class values, passed as copies): null is refused.
template <class T>
struct Arg<T&, std::enable_if_t<is_table_type<std::remove_const_t<T>>::value>> {
    static constexpr Ty object = TypeOf<std::remove_const_t<T>>::value;
    static bool names(std::string_view t) { return names_object(object, t, std::is_const_v<T>, '&'); }
    using stored = void*;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int flags) {
        int rc = convert_ptr(i, o, TypeOf<std::remove_const_t<T>>::value, &s, flags);
        return rc == OK && !s ? E_NULLREF : rc;
    }
    static T& pass(stored& s) { return *static_cast<T*>(s); }
};
template <class T>
struct Arg<T, std::enable_if_t<std::is_class_v<T> && is_table_type<T>::value>>
    : Arg<const T&> {
    // (a value: its type's name alone, as the messages have always said)
    static bool names(std::string_view t) { return names_object(TypeOf<T>::value, t, false, ' '); }
};

// The self argument of `delete_<class>`: converted with "disown", so the
// object leaves the ownership table before it is destroyed.
template <class T> struct Disowned {
    Id id;
};
template <class T> struct Arg<Disowned<T>> {
    static constexpr Ty object = TypeOf<T>::value;
    static bool names(std::string_view t) { return names_object(object, t, false, '*'); }
    using stored = Disowned<T>;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int flags) {
        void* p = nullptr;
        s.id = 0;
        int rc = convert_ptr(i, o, TypeOf<T>::value, &p, F_DISOWN, &s.id);
        if (rc == OK && !p && (flags & F_SELF)) return E_NULLREF;
        return rc;
    }
    static Disowned<T> pass(stored& s) { return s; }
};

}  // namespace qb

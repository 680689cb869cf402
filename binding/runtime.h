// The binding runtime: typed handles backed by an object registry, the
// type table, class and object commands, and the templates that turn one
// declarative entry per Tcl command into its wrapper.
//
// A class's commands are declared once, e.g.
//
//   static qb::Group g(2, {
//       qb::over("new_bild16", {
//           qb::sig(":new_bild16", {}, [] { return new bild16(); }),
//           qb::sig("o:new_bild16 fname", {"char const *"},
//                   [](const char* f) { return new bild16(f); })}),
//       qb::fn(qb::sig("oo:bild16_write_pgm16 self name ", {"bild16 const *", "char const *"},
//                      qb::mem<&bild16::write_pgm16>())),
//       qb::deleter<bild16>("o:delete_bild16 self", "bild16 *"),
//       qb::klass<bild16>("bild16", {"write_pgm16"}, {}, {"imgbase< 512,512,unsigned short > *"}),
//   });
//
// The callable's parameter types choose the argument conversions (Arg<T>),
// its result type the result handling (Ret<T>).
#pragma once
#include <tcl.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "imgclass/error.h"
#include "imgclass/imgbase.h"

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

// ---------------------------------------------------------------- types
// The pointer types that cross the boundary, sorted by mangled name.
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

const char* mangled_name(Ty t);

// ------------------------------------------------------------ registry
// Process-wide: id -> (address, registered type, owner). Ids are never
// reused, so a stale handle can never reach a new object.
using Id = std::uint32_t;

// The id of a live object at addr of type t (or of its family), or 0.
Id find_object(const void* addr, Ty t);
// Registers addr as an object of type t (or returns its existing id).
// owner != 0 makes it an inner pointer that dies with that object.
Id register_object(void* addr, Ty t, Id owner = 0);
// Destroys a registered object with the destructor of its registered type.
void destroy_object(Id id);
// Removes an object from the registry without destroying it (for objects
// whose lifetime the library manages).
void forget_object(Id id);
// The address of a live id converted to type t, or null.
void* lookup(Id id, Ty t);
std::size_t live_objects();

void set_destructor(Ty t, void (*dtor)(void*));
void set_upcast(Ty from, Ty to, void* (*cast)(void*));

template <class T> void destroy_as(void* p) { delete static_cast<T*>(p); }
template <class From, class To> void* upcast_fn(void* p) {
    return static_cast<To*>(static_cast<From*>(p));
}

// Records that `dependent` keeps a reference to `on`. Once `on` is
// destroyed, `dependent` is refused everywhere except by its deleter.
void depends(Id dependent, Id on);

// Ownership table (ids owned by the Tcl side).
void acquire(Id id);
bool disown(Id id);  // true if it was owned
bool is_owned(Id id);

// ------------------------------------------------------------- handles
std::string handle_text(Id id, Ty t);
Tcl_Obj* new_handle(Id id, Ty t);

enum : int {
    OK = 0,
    E_TYPE = -5,
    E_OVERFLOW = -7,
    E_NULLREF = -100,  // null given for a reference
    E_REPORTED = -200  // the converter left its own message in the result
};
// F_PROBE: the conversion only decides overload dispatch (nothing is kept).
enum { F_DISOWN = 1, F_SELF = 2, F_PROBE = 4 };

// Pointer conversion: a handle, "NULL", or the name of an object command.
// On success *addr is the address as type `want` (null for "NULL").
int convert_ptr(Tcl_Interp* interp, Tcl_Obj* obj, Ty want, void** addr, int flags = 0,
                Id* id = nullptr);

// Makes the handle of a returned object; creates its object command when
// its type has a class (always when `own`).
Tcl_Obj* new_instance(Tcl_Interp* interp, void* addr, Ty t, bool own, Id owner = 0);

void set_error(Tcl_Interp* interp, const char* cls, const std::string& msg);
const char* error_class(int code);

// ---------------------------------------------------------- signatures
struct Sig;
using CallFn = int (*)(Tcl_Interp*, int, Tcl_Obj* const*, const Sig&);
using TestFn = bool (*)(Tcl_Interp*, int, Tcl_Obj* const*, const Sig&);

struct Sig {
    std::string fmt;    // the stored argument format
    std::string name;   // the command name, from the format
    int nargs = 0;      // letters before ':'
    bool self = false;  // first argument is "self": null is refused
    std::vector<std::string> types;
    CallFn call = nullptr;
    TestFn test = nullptr;
    int check_count(Tcl_Interp* interp, int objc) const;
    int arg_error(Tcl_Interp* interp, int code, int pos) const;
};

// ----------------------------------------------------- argument kinds
// Arg<T>: get() converts objv[i] into `stored`, pass() hands it to the call.
template <class T, class = void> struct Arg;

int get_long(Tcl_Interp*, Tcl_Obj*, long*);
int get_int(Tcl_Interp*, Tcl_Obj*, int*);
int get_ushort(Tcl_Interp*, Tcl_Obj*, unsigned short*);
int get_double(Tcl_Interp*, Tcl_Obj*, double*);
int get_float(Tcl_Interp*, Tcl_Obj*, float*);
int get_floats(Tcl_Interp*, Tcl_Obj*, std::vector<float>*);

template <> struct Arg<int> {
    using stored = int;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_int(i, o, &s); }
    static int pass(stored& s) { return s; }
};
template <> struct Arg<long> {
    using stored = long;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_long(i, o, &s); }
    static long pass(stored& s) { return s; }
};
template <> struct Arg<unsigned short> {
    using stored = unsigned short;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_ushort(i, o, &s); }
    static unsigned short pass(stored& s) { return s; }
};
template <> struct Arg<double> {
    using stored = double;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_double(i, o, &s); }
    static double pass(stored& s) { return s; }
};
template <> struct Arg<float> {
    using stored = float;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_float(i, o, &s); }
    static float pass(stored& s) { return s; }
};
template <> struct Arg<bool> {
    using stored = int;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) {
        (void)i;
        return Tcl_GetBooleanFromObj(nullptr, o, &s) == TCL_OK ? OK : E_TYPE;
    }
    static bool pass(stored& s) { return s != 0; }
};
template <> struct Arg<const char*> {
    using stored = const char*;
    static int get(Tcl_Interp*, Tcl_Obj* o, stored& s, int) {
        s = Tcl_GetString(o);
        return OK;
    }
    static const char* pass(stored& s) { return s; }
};
// A Tcl list of numbers, narrowed to float (the INARRAY kernels).
template <> struct Arg<std::span<const float>> {
    using stored = std::vector<float>;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int) { return get_floats(i, o, &s); }
    static std::span<const float> pass(stored& s) { return s; }
};
// Pointers to table types: null passes (refused only as self).
template <class T>
struct Arg<T*, std::enable_if_t<is_table_type<std::remove_const_t<T>>::value>> {
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
    using stored = void*;
    static int get(Tcl_Interp* i, Tcl_Obj* o, stored& s, int flags) {
        int rc = convert_ptr(i, o, TypeOf<std::remove_const_t<T>>::value, &s, flags);
        return rc == OK && !s ? E_NULLREF : rc;
    }
    static T& pass(stored& s) { return *static_cast<T*>(s); }
};
template <class T>
struct Arg<T, std::enable_if_t<std::is_class_v<T> && is_table_type<T>::value>>
    : Arg<const T&> {};

// ------------------------------------------------------- result kinds
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
template <> struct Ret<int> {
    static void set(Tcl_Interp* i, int v) { Tcl_SetObjResult(i, Tcl_NewIntObj(v)); }
};
template <> struct Ret<long> {
    static void set(Tcl_Interp* i, long v) { Tcl_SetObjResult(i, Tcl_NewWideIntObj(v)); }
};
template <> struct Ret<unsigned short> {
    static void set(Tcl_Interp* i, unsigned short v) { Tcl_SetObjResult(i, Tcl_NewIntObj(v)); }
};
template <> struct Ret<double> {
    static void set(Tcl_Interp* i, double v) { Tcl_SetObjResult(i, Tcl_NewDoubleObj(v)); }
};
template <> struct Ret<float> {
    static void set(Tcl_Interp* i, float v) { Tcl_SetObjResult(i, Tcl_NewDoubleObj(double(v))); }
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

// ------------------------------------------------------ callable traits
template <class F> struct fn_traits : fn_traits<decltype(&F::operator())> {};
template <class C, class R, class... A> struct fn_traits<R (C::*)(A...) const> {
    using ret = R;
    using args = std::tuple<A...>;
};
template <class R, class... A> struct fn_traits<R (*)(A...)> {
    using ret = R;
    using args = std::tuple<A...>;
};

// Turns a member function into a callable whose first parameter is self.
template <auto M, class = decltype(M)> struct mem;
template <auto M, class C, class R, class... A> struct mem<M, R (C::*)(A...)> {
    R operator()(C& self, A... a) const { return (self.*M)(std::forward<A>(a)...); }
};
template <auto M, class C, class R, class... A> struct mem<M, R (C::*)(A...) const> {
    R operator()(const C& self, A... a) const { return (self.*M)(std::forward<A>(a)...); }
};

// Runs fn inside the exception guard; the result or the error goes to interp.
int guard_error(Tcl_Interp* interp);  // called from a catch block

template <class F, class... A, std::size_t... I>
int invoke_impl(Tcl_Interp* interp, [[maybe_unused]] Tcl_Obj* const* objv, const Sig& s,
                std::index_sequence<I...>,
                std::tuple<A...>*) {
    std::tuple<typename Arg<std::remove_cv_t<A>>::stored...> st{};
    int rc = OK;
    int pos = 0;
    // Convert in order, stopping at the first failure.
    ((rc == OK ? (pos = int(I) + 1,
                  rc = Arg<std::remove_cv_t<A>>::get(interp, objv[I + 1], std::get<I>(st),
                                                    (I == 0 && s.self) ? F_SELF : 0))
               : 0),
     ...);
    if (rc != OK) return s.arg_error(interp, rc, pos);
    using R = typename fn_traits<F>::ret;
    try {
        if constexpr (std::is_void_v<R>) {
            F{}(Arg<std::remove_cv_t<A>>::pass(std::get<I>(st))...);
        } else {
            Ret<R>::set(interp, F{}(Arg<std::remove_cv_t<A>>::pass(std::get<I>(st))...));
        }
    } catch (...) {
        return guard_error(interp);
    }
    return TCL_OK;
}

template <class F> int invoke(Tcl_Interp* interp, int objc, Tcl_Obj* const* objv, const Sig& s) {
    if (s.check_count(interp, objc) != TCL_OK) return TCL_ERROR;
    using args = typename fn_traits<F>::args;
    return invoke_impl<F>(interp, objv, s, std::make_index_sequence<std::tuple_size_v<args>>{},
                          static_cast<args*>(nullptr));
}

template <class... A, std::size_t... I>
bool test_impl([[maybe_unused]] Tcl_Interp* interp, [[maybe_unused]] Tcl_Obj* const* objv,
               std::index_sequence<I...>,
               std::tuple<A...>*) {
    bool ok = true;
    ((ok = ok && [&] {
          typename Arg<std::remove_cv_t<A>>::stored tmp{};
          int rc = Arg<std::remove_cv_t<A>>::get(interp, objv[I + 1], tmp, F_PROBE);
          return rc == OK || rc == E_NULLREF;
      }()),
     ...);
    return ok;
}

template <class F> bool test(Tcl_Interp* interp, int objc, Tcl_Obj* const* objv, const Sig& s) {
    using args = typename fn_traits<F>::args;
    if (objc - 1 != s.nargs) return false;
    return test_impl(interp, objv, std::make_index_sequence<std::tuple_size_v<args>>{},
                     static_cast<args*>(nullptr));
}

Sig make_sig(const char* fmt, std::initializer_list<const char*> types, CallFn call, TestFn test);

template <class F> Sig sig(const char* fmt, std::initializer_list<const char*> types, F) {
    static_assert(std::is_empty_v<F> && std::is_default_constructible_v<F>,
                  "a command body must be a captureless lambda or qb::mem<>");
    return make_sig(fmt, types, &invoke<F>, &test<F>);
}

// ------------------------------------------------------ table entries
struct Attr {
    const char* name;  // with the dash
    bool readonly = false;
};

struct ClassDef {
    const char* name;
    Ty type;
    std::vector<const char*> methods;
    std::vector<Attr> attrs;
    std::vector<const char*> bases;  // readable type names
    void (*dtor)(void*) = nullptr;
};

struct Entry {
    enum Kind { Single, Overloaded, Class, Raw, Upcast } kind = Single;
    std::string name;
    std::vector<Sig> sigs;
    ClassDef cls{};
    Tcl_ObjCmdProc* raw = nullptr;  // Raw: a hand-written command procedure
    Ty from = T_count, to = T_count;
    void* (*cast)(void*) = nullptr;
};

Entry fn(Sig s);
Entry over(const char* name, std::vector<Sig> sigs);
Entry raw(const char* name, Tcl_ObjCmdProc* proc);

template <class T>
Entry klass(const char* name, std::vector<const char*> methods, std::vector<Attr> attrs = {},
            std::vector<const char*> bases = {}) {
    Entry e{Entry::Class, name, {}, ClassDef{name, TypeOf<T>::value, std::move(methods),
                                             std::move(attrs), std::move(bases), nullptr}};
    if constexpr (!std::is_abstract_v<T> || std::has_virtual_destructor_v<T>)
        e.cls.dtor = &destroy_as<T>;
    return e;
}

// Declares that handles of From are accepted where To is expected and how
// the address converts.
template <class From, class To> Entry upcast() {
    Entry e;
    e.kind = Entry::Upcast;
    e.from = TypeOf<From>::value;
    e.to = TypeOf<To>::value;
    e.cast = &upcast_fn<From, To>;
    return e;
}

// The self argument of `delete_<class>`: converted with "disown", so the
// object leaves the ownership table before it is destroyed.
template <class T> struct Disowned {
    Id id;
};
template <class T> struct Arg<Disowned<T>> {
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
template <class T> Entry deleter(const char* fmt, const char* type) {
    return fn(sig(fmt, {type}, [](Disowned<T> d) { destroy_object(d.id); }));
}

// A group of commands registered together; `order` places it in the
// command table, `display` marks the commands that need Tk.
struct Group {
    Group(int order, std::vector<Entry> entries, bool display = false);
    int order;
    bool display;
    std::vector<Entry> entries;
};

// Creates the commands of entries that live outside the command table (a
// host program's or test extension's own); entries must outlive interp.
// Class entries need the process tables, so only plain commands here.
void create_commands(Tcl_Interp* interp, std::vector<Entry>& entries);

// Registers every group's commands and the linked variables in interp.
int register_all(Tcl_Interp* interp, bool with_display);

// The object and class command procedures (for command-name resolution).
int object_cmd(ClientData, Tcl_Interp*, int, Tcl_Obj* const*);

}  // namespace qb

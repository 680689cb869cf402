// One signature of a command: its stored format and argument-type texts,
// and the wrapper generated from the command body's parameter and result
// types (count check, conversions in order, the call, the result).
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "args.h"
#include "results.h"

namespace qb {

struct Sig;
using CallFn = int (*)(Tcl_Interp*, int, Tcl_Obj* const*, const Sig&);
using TestFn = bool (*)(Tcl_Interp*, int, Tcl_Obj* const*, const Sig&);

struct Sig {
    std::string fmt;    // the stored argument format
    std::string name;   // the command name, from the format
    int nargs = 0;      // letters before ':'
    int arity = 0;      // the body's parameter count: must equal nargs
    bool self = false;  // first argument is "self": null is refused
    bool alone = false; // replaces self's storage: no other call on it meanwhile
    std::vector<std::string> types;
    // From the body's parameter types: the object type of its first
    // parameter (T_count when it takes none), and whether a type text
    // names parameter i's type (the table check compares them at load).
    Ty first_object = T_count;
    bool (*names)(int i, std::string_view text) = nullptr;
    CallFn call = nullptr;
    TestFn test = nullptr;
    // Tcl's usage words after the command name ("img ?x1 y1 x2 y2?"): a
    // wrong count says "wrong # args: should be ...". Empty: the older
    // commands' own count messages, which scripts match.
    std::string usage;
    // The message for a call whose word count is not nargs.
    int count_error(Tcl_Interp* interp, int objc, Tcl_Obj* const* objv) const;
    int arg_error(Tcl_Interp* interp, int code, int pos) const;
    int destroyed_error(Tcl_Interp* interp) const;
    int deleted_interp_error(Tcl_Interp* interp) const;
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

// ------------------------------------------------------------ wrappers
template <class F, class... A, std::size_t... I>
int invoke_impl(Tcl_Interp* interp, [[maybe_unused]] Tcl_Obj* const* objv, const Sig& s,
                std::index_sequence<I...>, std::tuple<A...>*) {
    CallPins pins;  // what is converted stays alive until the call returns
    std::tuple<typename Arg<std::remove_cv_t<A>>::stored...> st{};
    int rc = OK;
    int pos = 0;
    // Convert in order, stopping at the first failure.
    ((rc == OK ? (pos = int(I) + 1,
                  rc = Arg<std::remove_cv_t<A>>::get(interp, objv[I + 1], std::get<I>(st),
                                                    (I == 0 && s.self) ? F_SELF | (s.alone ? F_ALONE : 0) : 0))
               : 0),
     ...);
    if (rc != OK) return s.arg_error(interp, rc, pos);
    // A conversion may run a script (a foreign "cget -this"): an address
    // converted earlier may be gone, or the interpreter itself.
    if (pins.ran_script()) {
        if (pins.script_destroyed()) return s.destroyed_error(interp);
        if (Tcl_InterpDeleted(interp)) return s.deleted_interp_error(interp);
    }
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
    if (objc - 1 != s.nargs) return s.count_error(interp, objc, objv);
    using args = typename fn_traits<F>::args;
    return invoke_impl<F>(interp, objv, s, std::make_index_sequence<std::tuple_size_v<args>>{},
                          static_cast<args*>(nullptr));
}

// Overload dispatch: would every argument convert? Nothing is kept.
template <class... A, std::size_t... I>
bool test_impl([[maybe_unused]] Tcl_Interp* interp, [[maybe_unused]] Tcl_Obj* const* objv,
               std::index_sequence<I...>, std::tuple<A...>*) {
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

Sig make_sig(const char* fmt, std::initializer_list<const char*> types, int arity, CallFn call,
             TestFn test, Ty first_object = T_count, bool (*names)(int, std::string_view) = nullptr);

// The object type a parameter type converts to, T_count for none.
template <class A, class = void> struct object_of {
    static constexpr Ty value = T_count;
};
template <class A> struct object_of<A, std::void_t<decltype(Arg<A>::object)>> {
    static constexpr Ty value = Arg<A>::object;
};
template <class F> constexpr Ty first_object_of() {
    using args = typename fn_traits<F>::args;
    if constexpr (std::tuple_size_v<args> == 0)
        return T_count;
    else
        return object_of<std::remove_cv_t<std::tuple_element_t<0, args>>>::value;
}
template <class F> bool names_param(int i, std::string_view text) {
    using args = typename fn_traits<F>::args;
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        bool r = false;
        ((i == int(I) ? (r = Arg<std::remove_cv_t<std::tuple_element_t<I, args>>>::names(text), 0) : 0), ...);
        return r;
    }(std::make_index_sequence<std::tuple_size_v<args>>{});
}

// The usage of a command with these signatures: the argument words of the
// shortest, then each longer one's further words as "?...?" when each
// extends the one before; otherwise the forms joined by "\" or \"".
std::string usage_of(const std::vector<Sig>& sigs);
// "wrong # args: should be ..." for the usage; a method called through its
// object shows "obj method words" without "self".
int usage_error(Tcl_Interp* interp, Tcl_Obj* const* objv, const std::string& usage);

// What is wrong with a signature, or the empty string: its format must be
// one "o" per parameter of its body, then ':' and the command name, and
// give one type text per parameter, each naming that parameter's type.
// The wrapper reads one word per parameter, so a format with fewer letters
// would let it read past the words the count check admitted. A method of
// a class (a command <class>_... whose first parameter takes that class's
// objects) calls that parameter "self", and only a method does: the word
// follows the type, not the other way round; a call that must run alone is
// a method's. `classes` are the class names of the table. The table check
// stops the load on any.
std::string check_sig(const Sig& s, const std::vector<std::string>& classes = {});

template <class F> constexpr int arity_of = int(std::tuple_size_v<typename fn_traits<F>::args>);

// The letters before ':' of a format known at compile time; -1 if any is
// not an "o" or there is no ':'.
constexpr int format_letters(const char* f) {
    int n = 0;
    for (; f[n] != ':'; ++n)
        if (f[n] != 'o') return -1;
    return n;
}

// A signature whose wrapper is generated from the body F.
template <class F> Sig sig(const char* fmt, std::initializer_list<const char*> types, F) {
    static_assert(std::is_empty_v<F> && std::is_default_constructible_v<F>,
                  "a command body must be a captureless lambda or qb::mem<>");
    return make_sig(fmt, types, arity_of<F>, &invoke<F>, &test<F>, first_object_of<F>(), &names_param<F>);
}

// The same with the format as a template argument (a constant array):
// its letters are counted against the body when the entry is compiled.
template <const char* Fmt, class F> Sig sig(std::initializer_list<const char*> types, F f) {
    static_assert(format_letters(Fmt) == arity_of<F>,
                  "the format's letters before ':' must be one 'o' per parameter of the body");
    return sig(Fmt, types, f);
}

}  // namespace qb

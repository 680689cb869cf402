// The entries of a command table: a command (one or several signatures),
// a class, or an upcast between two types.
#pragma once
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "signature.h"

namespace qb {

struct Attr {
    const char* name;  // with the dash
    bool readonly = false;
};

// A class. Its methods are not listed here: every command named
// <class>_<method> is one (see class_methods in tables.h); its bases are
// the classes its upcast entries lead to.
struct ClassDef {
    const char* name;
    Ty type;
    std::vector<Attr> attrs;  // each has <name>_<attr>_get (and _set)
    void (*dtor)(void*) = nullptr;
};

struct Entry {
    enum Kind { Single, Overloaded, Class, Upcast } kind = Single;
    std::string name;
    std::vector<Sig> sigs;
    ClassDef cls{};
    Ty from = T_count, to = T_count;
    void* (*cast)(void*) = nullptr;
    int place = -1;  // of a method: its place in its class's list, if fixed
    // A command that had one form before others were added: when no form
    // fits, the one form with the call's count (if alone) answers with its
    // own conversion message, as the command always did.
    bool lone_answers = false;
};

Entry fn(Sig s);
Entry over(const char* name, std::vector<Sig> sigs);

// A method whose place in its class's list (the "Invalid method" message)
// is fixed: the methods with a place come first, in the order of their
// places 0, 1, 2, ..., then the others in the order their commands are
// created. The first classes' lists were published in an order other than
// that of their sections; a new method needs no place.
Entry listed_at(int place, Entry e);

// A command that answers a wrong argument count as Tcl's own commands do,
// with its usage: "wrong # args: should be \"imgstats img ?x1 y1 x2 y2?\"".
// The older commands keep their own count messages.
Entry with_usage(Entry e);

// A method that replaces its object's storage (reading a whole new file
// into it): it runs only while no other call uses the object, and no
// other call begins on the object until it returns; a call that meets
// the other is refused with "the object is in use by another call".
Entry alone(Entry e);

template <class T>
Entry klass(const char* name, std::vector<Attr> attrs = {}) {
    Entry e{Entry::Class, name, {}, ClassDef{name, TypeOf<T>::value, std::move(attrs), nullptr}};
    if constexpr (!std::is_abstract_v<T> || std::has_virtual_destructor_v<T>)
        e.cls.dtor = &destroy_as<T>;
    return e;
}

// Declares that handles of From are accepted where To is expected and how
// the address converts; the class of To is a base of the class of From
// (its methods and attributes reach From's objects).
template <class From, class To> Entry upcast() {
    Entry e;
    e.kind = Entry::Upcast;
    e.from = TypeOf<From>::value;
    e.to = TypeOf<To>::value;
    e.cast = &upcast_fn<From, To>;
    return e;
}

template <class T> Entry deleter(const char* fmt, const char* type) {
    return fn(sig(fmt, {type}, [](Disowned<T> d) { destroy_object(d.id); }));
}

}  // namespace qb

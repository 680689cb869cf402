// A test-only extension, libquenztest.so (package quenztest, loaded by
// tests/common.tcl into every suite). Its commands are a table of its own,
// created by the binding runtime like quenz's; it also reads the binding's
// command table and registry (binding/command_table.h, binding/runtime/):
//   quenztest_region rule y0 x0 y1 x1   a region_t from a rule (no quenz command
//   quenztest_delete_region r           makes one), and its deleter
//   quenztest_live                      the number of live objects in the registry
//   quenztest_alive handle              whether a handle's object is still registered
//   quenztest_signatures                every signature of the loaded command tables
//                                       {command format types usage}
//   quenztest_classes                   every class with its methods and attributes
//   quenztest_entries                   every entry of the table in creation order:
//                                       {section kind name}
//   quenztest_quiet on                  standard output and std::cerr shut (1) or back (0)
//   quenztest_check_table real|broken   the table check's messages for the real table
//                                       or for a small table with one mistake of each kind
//   quenztest_create_broken             creates a command whose format has fewer
//                                       letters than its body has parameters (refused)
//   quenztest_next_id id                the next registry id to try (the 2^32 wrap)
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>

#include "binding/runtime.h"
#include "imgclass/core/bild16.h"
#include "imgclass/core/vec2d.h"
#include "binding/runtime/handle.h"
#include "binding/runtime/tables.h"

namespace {

region_t* make_region(const char* rule, int y0, int x0, int y1, int x1) {
    auto* r = new region_t;
    bool inside_value = std::strcmp(rule, "except") != 0;
    bool base = std::strcmp(rule, "all") == 0 || std::strcmp(rule, "except") == 0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) r->row(y)[x] = base;
    if (std::strcmp(rule, "all") && std::strcmp(rule, "none")) {
        for (int y = std::max(y0, 0); y <= std::min(y1, 511); ++y)
            for (int x = std::max(x0, 0); x <= std::min(x1, 511); ++x) r->row(y)[x] = inside_value;
    }
    return r;
}

// Every signature of the command table as {command format {type texts}
// usage} (usage: Tcl's, for a wrong count; empty for the older commands),
// overloads once per signature, so the hostile-input suite can derive its
// cases from the table instead of a hand-kept list.
Tcl_Obj* signatures() {
    Tcl_Obj* all = Tcl_NewListObj(0, nullptr);
    auto text = [](const std::string& s) { return Tcl_NewStringObj(s.data(), int(s.size())); };
    for (const auto& section : qb::command_table())
        for (const qb::Entry& e : section)
            for (const qb::Sig& s : e.sigs) {
                Tcl_Obj* types = Tcl_NewListObj(0, nullptr);
                for (const std::string& t : s.types) Tcl_ListObjAppendElement(nullptr, types, text(t));
                Tcl_Obj* item[4] = {text(e.name), text(s.fmt), types, text(s.usage)};
                Tcl_ListObjAppendElement(nullptr, all, Tcl_NewListObj(4, item));
            }
    return all;
}

// Every class of the table as {class methods attributes}.
Tcl_Obj* classes() {
    Tcl_Obj* all = Tcl_NewListObj(0, nullptr);
    for (const auto& section : qb::command_table())
        for (const qb::Entry& e : section) {
            if (e.kind != qb::Entry::Class) continue;
            Tcl_Obj* methods = Tcl_NewListObj(0, nullptr);
            for (const auto& [m, impl] : qb::class_desc(e.cls.name)->methods)
                Tcl_ListObjAppendElement(nullptr, methods, Tcl_NewStringObj(m.data(), int(m.size())));
            Tcl_Obj* attrs = Tcl_NewListObj(0, nullptr);
            for (const qb::Attr& a : e.cls.attrs)
                Tcl_ListObjAppendElement(nullptr, attrs, Tcl_NewStringObj(a.name, -1));
            Tcl_Obj* item[3] = {Tcl_NewStringObj(e.cls.name, -1), methods, attrs};
            Tcl_ListObjAppendElement(nullptr, all, Tcl_NewListObj(3, item));
        }
    return all;
}

// Every entry of the command table as {section kind name}, in the order
// in which register_all creates the commands (upcasts included, with the
// readable names of their two types), so a change to the table can be
// compared with a dump taken before it.
Tcl_Obj* table_entries() {
    static const char* const kinds[] = {"command", "overloaded", "class", "upcast"};
    Tcl_Obj* all = Tcl_NewListObj(0, nullptr);
    const auto& table = qb::command_table();
    for (std::size_t i = 0; i < table.size(); ++i)
        for (const qb::Entry& e : table[i]) {
            std::string name = e.kind == qb::Entry::Upcast
                                   ? std::string(qb::type_record(e.from).readable) + " -> " +
                                         qb::type_record(e.to).readable
                                   : e.name;
            Tcl_Obj* item[3] = {Tcl_NewStringObj(qb::sections()[i].name, -1),
                                Tcl_NewStringObj(kinds[e.kind], -1),
                                Tcl_NewStringObj(name.data(), int(name.size()))};
            Tcl_ListObjAppendElement(nullptr, all, Tcl_NewListObj(3, item));
        }
    return all;
}

// Sends the process's standard output to /dev/null and silences std::cerr
// (on), and restores both (off): the analyses print tables and progress
// there, which would bury a suite's report when it calls them thousands
// of times. The error stream itself stays open, so a sanitizer's report
// still reaches it.
void quiet(bool on) {
    static int saved = -1;
    static std::streambuf* cerr_buf = nullptr;
    static std::ostream discard(nullptr);  // no buffer: what it is given goes nowhere
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    if (on && saved < 0) {
        int null = open("/dev/null", O_WRONLY);
        saved = dup(1);
        dup2(null, 1);
        close(null);
        cerr_buf = std::cerr.rdbuf(discard.rdbuf());
    } else if (!on && saved >= 0) {
        dup2(saved, 1);
        close(saved);
        saved = -1;
        std::cerr.rdbuf(cerr_buf);
        std::cerr.clear();
    }
}

// The table check's messages for the real table ("real") or for a small
// table with one mistake of each kind ("broken").
Tcl_Obj* check_table(const char* which) {
    static const std::vector<qb::Entry> broken = {
        qb::fn(qb::sig("o:vec2d_turn self", {"vec2d *"}, [](vec2d&) {})),
        qb::fn(qb::sig("o:vec2d_turn self", {"vec2d *"}, [](vec2d&) {})),
        qb::listed_at(0, qb::fn(qb::sig("o:vec2d_paint self", {"vec2d *"}, [](vec2d&) {}))),
        qb::listed_at(2, qb::fn(qb::sig("o:vec2d_fold self", {"vec2d *"}, [](vec2d&) {}))),
        qb::listed_at(0, qb::fn(qb::sig("o:paint self", {"vec2d *"}, [](vec2d&) {}))),
        qb::klass<vec2d>("vec2d", {{"-x", false}}),
        qb::klass<bild16>("bild16"),
        qb::upcast<bild16, bild16_base>(),
        qb::fn(qb::sig("o:scale v", {"vec2d *"}, [](vec2d&, double) {})),
        qb::fn(qb::sig("oo:shift v d", {"vec2d *"}, [](vec2d&, double) {})),
        qb::fn(qb::sig("oo:stretch v", {"vec2d *", "double", "double"}, [](vec2d&, double, double) {})),
        qb::fn(qb::sig("flip v", {}, [] {})),
        // the word self on another argument than a method's object, none on a
        // method's object, a type text that names another type, and a call
        // that must run alone with no object of its own
        qb::fn(qb::sig("oo:vec2d_spin by self", {"vec2d *", "double"}, [](vec2d&, double) {})),
        qb::fn(qb::sig("o:vec2d_spin2 v", {"vec2d *"}, [](vec2d&) {})),
        qb::fn(qb::sig("oo:vec2d_grow self by", {"vec2d *", "int"}, [](vec2d&, double) {})),
        qb::alone(qb::fn(qb::sig("o:reset v", {"vec2d *"}, [](vec2d&) {}))),
    };
    std::vector<const qb::Entry*> list;
    if (std::strcmp(which, "broken") == 0) {
        for (const qb::Entry& e : broken) list.push_back(&e);
    } else {
        for (const auto& section : qb::command_table())
            for (const qb::Entry& e : section) list.push_back(&e);
    }
    Tcl_Obj* out = Tcl_NewListObj(0, nullptr);
    for (const std::string& m : qb::check_table(list))
        Tcl_ListObjAppendElement(nullptr, out, Tcl_NewStringObj(m.data(), int(m.size())));
    return out;
}

// An extension's own commands are checked like the table: this one would
// read a second word that the count check never admitted.
int create_broken(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const*) {
    static const std::vector<qb::Entry> few = {
        qb::fn(qb::sig("o:quenztest_few x", {"double", "double"}, [](double, double) {}))};
    return qb::create_commands(interp, few);
}

std::vector<qb::Entry>& entries() {
    static std::vector<qb::Entry> e = {
        // quenztest_region all|none|only|except y0 x0 y1 x1 (inclusive box)
        qb::fn(qb::sig("ooooo:quenztest_region rule y0 x0 y1 x1 ",
                       {"char const *", "int", "int", "int", "int"},
                       [](const char* rule, int y0, int x0, int y1, int x1) {
                           return make_region(rule, y0, x0, y1, x1);
                       })),
        qb::deleter<region_t>("o:quenztest_delete_region self", "region_t *"),
        qb::fn(qb::sig(":quenztest_live", {}, [] { return long(qb::live_objects()); })),
        qb::fn(qb::sig(":quenztest_signatures", {}, [] { return signatures(); })),
        qb::fn(qb::sig(":quenztest_classes", {}, [] { return classes(); })),
        qb::fn(qb::sig(":quenztest_entries", {}, [] { return table_entries(); })),
        qb::fn(qb::sig("o:quenztest_check_table which", {"char const *"},
                       [](const char* w) { return check_table(w); })),
        qb::fn(qb::sig("o:quenztest_next_id id", {"double"},
                       [](double id) { qb::set_next_id(qb::Id(id)); })),
        qb::fn(qb::sig("o:quenztest_quiet on", {"bool"}, [](bool on) { quiet(on); })),
        // Whether the object a handle names is still registered (no
        // conversion: a dead handle is an answer here, not an error).
        qb::fn(qb::sig("o:quenztest_alive handle", {"char const *"}, [](const char* h) {
            qb::Id id;
            qb::Ty t;
            return qb::parse_handle(h, &id, &t) && qb::lookup(id, t) != nullptr;
        })),
    };
    return e;
}

}  // namespace

extern "C" int Quenztest_Init(Tcl_Interp* interp) {
    if (!Tcl_InitStubs(interp, "8.6", 0)) return TCL_ERROR;
    qb::set_destructor(qb::T_region, &qb::destroy_as<region_t>);
    if (qb::create_commands(interp, entries()) != TCL_OK) return TCL_ERROR;
    Tcl_CreateObjCommand(interp, "quenztest_create_broken", &create_broken, nullptr, nullptr);
    return Tcl_PkgProvide(interp, "quenztest", "1.2");
}

// The procedures behind plain and overloaded commands, and the entry
// constructors for them.
#include <algorithm>

#include "tables.h"
#include "instances.h"

namespace qb {

static int single_proc(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    const Sig& s = *static_cast<const Sig*>(cd);
    // Not held here: the one script a call can run (a foreign command's
    // "cget -this" while converting) holds the interpreter for the rest of
    // the call (CallPins::hold), and nothing here uses it afterwards.
    return s.call(interp, objc, objv, s);
}

static int over_proc(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    const Entry& e = *static_cast<const Entry*>(cd);
    Preserved keep(interp);
    if (!e.sigs.empty() && !e.sigs[0].usage.empty() &&
        std::none_of(e.sigs.begin(), e.sigs.end(), [&](const Sig& s) { return s.nargs == objc - 1; }))
        return usage_error(interp, objv, e.sigs[0].usage);
    for (const Sig& s : e.sigs)
        if (s.nargs == objc - 1 && s.test(interp, objc, objv, s)) return s.call(interp, objc, objv, s);
    // A probe that asked a foreign command may have left its error behind.
    Tcl_ResetResult(interp);
    if (e.lone_answers &&
        std::count_if(e.sigs.begin(), e.sigs.end(), [&](const Sig& s) { return s.nargs == objc - 1; }) == 1)
        for (const Sig& s : e.sigs)
            if (s.nargs == objc - 1) return s.call(interp, objc, objv, s);
    std::string msg = "No matching function for overloaded '" + e.name + "'";
    Tcl_SetObjResult(interp, Tcl_NewStringObj(msg.data(), int(msg.size())));
    return TCL_ERROR;
}

Entry fn(Sig s) {
    Entry e;
    e.kind = Entry::Single;
    e.name = s.name;
    e.sigs.push_back(std::move(s));
    return e;
}

Entry over(const char* name, std::vector<Sig> sigs) {
    Entry e;
    e.kind = Entry::Overloaded;
    e.name = name;
    e.sigs = std::move(sigs);
    return e;
}

Entry with_usage(Entry e) {
    std::string usage = usage_of(e.sigs);
    for (Sig& s : e.sigs) s.usage = usage;
    return e;
}

Entry alone(Entry e) {
    for (Sig& s : e.sigs) s.alone = true;
    return e;
}

Entry listed_at(int place, Entry e) {
    e.place = place;
    return e;
}

CmdImpl impl_of(const Entry& e) {
    switch (e.kind) {
        case Entry::Single: return {&single_proc, (ClientData)&e.sigs[0]};
        case Entry::Overloaded: return {&over_proc, (ClientData)&e};
        case Entry::Class: return {&class_cmd, (ClientData)class_desc(e.cls.name)};
        default: return {};
    }
}

void create_table_commands(Tcl_Interp* interp, const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        if (e.kind == Entry::Upcast) continue;
        CmdImpl f = impl_of(e);
        Tcl_CreateObjCommand(interp, e.name.c_str(), f.proc, f.cd, nullptr);
    }
}

int create_commands(Tcl_Interp* interp, const std::vector<Entry>& entries) {
    std::vector<const Entry*> list;
    for (const Entry& e : entries) list.push_back(&e);
    std::vector<std::string> mistakes = check_table(list);
    if (!mistakes.empty()) {
        std::string msg = "the commands are inconsistent:";
        for (const std::string& m : mistakes) msg += "\n  " + m;
        Tcl_SetObjResult(interp, Tcl_NewStringObj(msg.data(), int(msg.size())));
        return TCL_ERROR;
    }
    create_table_commands(interp, entries);
    return TCL_OK;
}

}  // namespace qb

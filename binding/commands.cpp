// Wrappers, overload dispatch, class commands and object commands.
#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <unordered_map>

#include "internal.h"

namespace qb {

// ------------------------------------------------------------ wrappers

Sig make_sig(const char* fmt, std::initializer_list<const char*> types, CallFn call, TestFn test) {
    Sig s;
    s.fmt = fmt;
    std::size_t colon = s.fmt.find(':');
    s.nargs = int(colon);
    std::string usage = s.fmt.substr(colon + 1);
    std::size_t blank = usage.find(' ');
    s.name = usage.substr(0, blank);
    // Usage texts end in a blank after the last argument name.
    if (s.nargs > 0 && s.fmt.back() != ' ') s.fmt += ' ';
    s.self = blank != std::string::npos && usage.compare(blank + 1, 5, "self ") == 0;
    if (s.nargs > 0 && usage.substr(blank + 1) == "self") s.self = true;
    for (const char* t : types) s.types.emplace_back(t);
    s.call = call;
    s.test = test;
    return s;
}

int Sig::check_count(Tcl_Interp* interp, int objc) const {
    int given = objc - 1;
    if (given == nargs) return TCL_OK;
    std::string msg = given < nargs ? "Wrong number of arguments " : "Wrong # args.";
    msg += fmt.substr(fmt.find(':'));
    msg += " argument " + std::to_string(given < nargs ? given + 1 : nargs + 1);
    Tcl_ResetResult(interp);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(msg.data(), int(msg.size())));
    return TCL_ERROR;
}

int Sig::arg_error(Tcl_Interp* interp, int code, int pos) const {
    if (code == E_REPORTED) return TCL_ERROR;
    std::string type = pos >= 1 && std::size_t(pos) <= types.size() ? types[pos - 1] : "";
    std::string where =
        "in method '" + name + "', argument " + std::to_string(pos) + " of type '" + type + "'";
    if (code == E_NULLREF)
        set_error(interp, "ValueError", "invalid null reference " + where);
    else
        set_error(interp, error_class(code), where);
    return TCL_ERROR;
}

int Sig::destroyed_error(Tcl_Interp* interp) const {
    set_error(interp, "RuntimeError",
              "in method '" + name + "', an object was destroyed while the arguments were converted");
    return TCL_ERROR;
}

int guard_error(Tcl_Interp* interp) {
    try {
        throw;
    } catch (const quenz::Error& e) {
        set_error(interp, "RuntimeError", e.what());
    } catch (...) {
        set_error(interp, "RuntimeError", "Some C++-Error");
    }
    return TCL_ERROR;
}

static int single_proc(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    const Sig& s = *static_cast<const Sig*>(cd);
    return s.call(interp, objc, objv, s);
}

static int over_proc(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    const Entry& e = *static_cast<const Entry*>(cd);
    for (const Sig& s : e.sigs)
        if (s.nargs == objc - 1 && s.test(interp, objc, objv, s)) return s.call(interp, objc, objv, s);
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

Entry raw(const char* name, Tcl_ObjCmdProc* proc) {
    Entry e;
    e.kind = Entry::Raw;
    e.name = name;
    e.raw = proc;
    return e;
}

// -------------------------------------------------------------- groups

static std::vector<Group*>& group_list() {
    static auto* v = new std::vector<Group*>;
    return *v;
}

Group::Group(int order_, std::vector<Entry> entries_, bool display_)
    : order(order_), display(display_), entries(std::move(entries_)) {
    auto& v = group_list();
    v.insert(std::upper_bound(v.begin(), v.end(), this,
                              [](const Group* a, const Group* b) { return a->order < b->order; }),
             this);
}

const std::vector<Group*>& groups() { return group_list(); }

ClassDesc* class_desc(const std::string& name);

// Calls visit(class) depth first: the class, then each base with its own
// bases first, at most 64 classes; stops when visit returns true.
template <class Visit> void walk_classes(ClassDesc* start, Visit visit) {
    ClassDesc* stack[64];
    int top = 0, depth = 0;
    stack[top++] = start;
    while (top > 0 && depth++ < 64) {
        ClassDesc* c = stack[--top];
        if (visit(c)) return;
        for (auto b = c->bases.rbegin(); b != c->bases.rend() && top < 64; ++b) stack[top++] = *b;
    }
}

CmdImpl impl_of(const Entry& e) {
    switch (e.kind) {
        case Entry::Single: return {&single_proc, (ClientData)&e.sigs[0]};
        case Entry::Overloaded: return {&over_proc, (ClientData)&e};
        case Entry::Raw: return {e.raw, nullptr};
        case Entry::Class: return {&class_cmd, (ClientData)class_desc(e.cls.name)};
        default: return {};
    }
}

static std::map<std::string, ClassDesc*>& class_map() {
    static auto* m = new std::map<std::string, ClassDesc*>;
    return *m;
}

ClassDesc* class_desc(const std::string& name) {
    auto it = class_map().find(name);
    return it == class_map().end() ? nullptr : it->second;
}

void build_tables() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::map<std::string, CmdImpl> cmds;
        for (Group* g : groups())
            for (Entry& e : g->entries) {
                if (e.kind == Entry::Upcast) set_upcast(e.from, e.to, e.cast);
                else if (e.kind != Entry::Class) cmds[e.name] = impl_of(e);
            }
        auto find = [&](const std::string& n) {
            auto it = cmds.find(n);
            return it == cmds.end() ? CmdImpl{} : it->second;
        };
        for (Group* g : groups())
            for (Entry& e : g->entries) {
                if (e.kind != Entry::Class) continue;
                const ClassDef& d = e.cls;
                auto* c = new ClassDesc{&d, find(std::string("new_") + d.name), {}, {}, {}, {}};
                for (const char* m : d.methods)
                    c->methods.emplace_back(m, find(std::string(d.name) + "_" + m));
                for (const Attr& a : d.attrs) {
                    std::string base = std::string(d.name) + "_" + (a.name + 1);
                    c->attrs.push_back({a.name, find(base + "_get"),
                                        a.readonly ? CmdImpl{} : find(base + "_set")});
                }
                class_map()[d.name] = c;
                type_record(d.type).cls = c;
                if (d.dtor) set_destructor(d.type, d.dtor);
            }
        // Bases are named by readable type names.
        for (auto& [name, c] : class_map())
            for (const char* b : c->def->bases) {
                Ty t = type_by_readable(b);
                if (t != T_count && type_record(t).cls) c->bases.push_back(type_record(t).cls);
            }
        for (auto& [name, c] : class_map())
            walk_classes(c, [&](ClassDesc* k) {
                for (auto& [m, f] : k->methods)
                    if (f) c->reachable.emplace(m, f);  // keeps the first of a name
                return false;
            });
    });
}

// --------------------------------------------------------- instances

static std::unordered_multimap<Id, Instance*>& instances() {
    static auto* m = new std::unordered_multimap<Id, Instance*>;
    return *m;
}

void create_instance_command(Tcl_Interp* interp, const char* name, Instance* inst) {
    inst->interp = interp;
    inst->thread = Tcl_GetCurrentThread();
    {
        std::lock_guard lock(state_mutex());
        instances().emplace(inst->id, inst);
    }
    inst->token = Tcl_CreateObjCommand(interp, name, &object_cmd, inst, &object_delete);
}

static void forget_instance(Instance* inst) {
    std::lock_guard lock(state_mutex());
    auto range = instances().equal_range(inst->id);
    for (auto i = range.first; i != range.second; ++i)
        if (i->second == inst) {
            instances().erase(i);
            break;
        }
}

void drop_commands(Id id) {
    std::vector<Instance*> doomed;
    {
        std::lock_guard lock(state_mutex());
        auto range = instances().equal_range(id);
        for (auto i = range.first; i != range.second; ++i)
            if (i->second->thread == Tcl_GetCurrentThread()) doomed.push_back(i->second);
    }
    for (Instance* inst : doomed) {
        forget_instance(inst);
        inst->owns = false;
        Tcl_DeleteCommandFromToken(inst->interp, inst->token);
    }
}

Tcl_Obj* new_instance(Tcl_Interp* interp, void* addr, Ty t, bool own, Id owner) {
    Id id = register_object(addr, t, owner);
    Tcl_Obj* h = new_handle(id, t);
    ClassDesc* c = type_record(t).cls;
    if (c) {
        const char* name = Tcl_GetString(h);
        Tcl_CmdInfo info;
        if (own || !Tcl_GetCommandInfo(interp, name, &info)) {
            auto* inst = new Instance{h, id, c, own, nullptr};
            Tcl_IncrRefCount(h);
            if (own) acquire(id);
            create_instance_command(interp, name, inst);
        }
    }
    return h;
}

void object_delete(ClientData cd) {
    auto* inst = static_cast<Instance*>(cd);
    forget_instance(inst);
    if (inst->owns && disown(inst->id)) destroy_object(inst->id);
    Tcl_DecrRefCount(inst->handle);
    delete inst;
}

static int plain_error(Tcl_Interp* interp, const char* msg) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(msg, -1));
    return TCL_ERROR;
}

// Calls a method wrapper with the handle in place of objv[1]. The caller
// holds a reference to h: the call may delete the command and its record.
static int call_with_handle(CmdImpl f, Tcl_Interp* interp, Tcl_Obj* h, int objc,
                            Tcl_Obj* const objv[]) {
    Tcl_Obj* few[8];  // no allocation for the usual short calls
    std::vector<Tcl_Obj*> many;
    Tcl_Obj** args = few;
    if (objc > 8) {
        many.resize(std::size_t(objc));
        args = many.data();
    }
    std::copy(objv, objv + objc, args);
    args[1] = h;
    return f.proc(f.cd, interp, objc, args);
}

static bool already_listed(const std::string& result, const std::string& word) {
    std::size_t pos = result.find(':');
    while ((pos = result.find(word, pos)) != std::string::npos) {
        bool start = pos > 0 && result[pos - 1] == ' ';
        std::size_t end = pos + word.size();
        if (start && (end == result.size() || result[end] == ' ')) return true;
        pos = end;
    }
    return false;
}

// The method, cget and configure lookup of object_cmd over cls and its bases.
static int walk(Tcl_Interp* interp, ClassDesc* cls, Id id, Tcl_Obj* h, const char* m, int objc,
                Tcl_Obj* const objv[]) {
    bool is_cget = std::strcmp(m, "cget") == 0;
    bool is_configure = std::strcmp(m, "configure") == 0;
    int set_count = 0;
    // Depth-first walk: the class, then each base with its own bases first.
    std::vector<ClassDesc*> stack{cls};
    int depth = 0;
    while (!stack.empty() && depth++ < 64) {
        ClassDesc* c = stack.back();
        stack.pop_back();
        for (auto& [name, f] : c->methods)
            if (name == m && f) return call_with_handle(f, interp, h, objc, objv);
        if (is_cget) {
            const char* a = Tcl_GetString(objv[2]);
            for (auto& at : c->attrs)
                if (at.name == a && at.get) {
                    Tcl_Obj* args[2] = {objv[0], h};
                    return call_with_handle(at.get, interp, h, 2, args);
                }
            if (std::strcmp(a, "-this") == 0) {
                Tcl_SetObjResult(interp, Tcl_DuplicateObj(h));
                return TCL_OK;
            }
            if (std::strcmp(a, "-thisown") == 0) {
                Tcl_SetObjResult(interp, Tcl_NewStringObj(is_owned(id) ? "1" : "0", 1));
                return TCL_OK;
            }
        } else if (is_configure) {
            for (int i = 2; i + 1 < objc; i += 2) {
                const char* a = Tcl_GetString(objv[i]);
                for (auto& at : c->attrs)
                    if (at.name == a && at.set) {
                        Tcl_Obj* args[3] = {objv[i - 1], h, objv[i + 1]};
                        int rc = call_with_handle(at.set, interp, h, 3, args);
                        if (rc != TCL_OK) return rc;
                        set_count += 2;
                    }
            }
        }
        for (auto b = c->bases.rbegin(); b != c->bases.rend(); ++b) stack.push_back(*b);
    }
    if (is_configure) {
        if (2 + set_count >= objc) return TCL_OK;
        return plain_error(interp, "Invalid attribute name.");
    }
    if (is_cget) return plain_error(interp, "Invalid attribute name.");

    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "Invalid method. Must be one of: configure cget -acquire -disown -delete",
                     nullptr);
    std::vector<ClassDesc*> listed{cls};
    listed.insert(listed.end(), cls->bases.begin(), cls->bases.end());
    for (ClassDesc* c : listed)
        for (auto& [name, f] : c->methods)
            if (!already_listed(Tcl_GetStringResult(interp), name))
                Tcl_AppendElement(interp, name.c_str());
    return TCL_ERROR;
}

int object_cmd(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    auto* inst = static_cast<Instance*>(cd);
    if (objc < 2) return plain_error(interp, "wrong # args.");
    const char* m = Tcl_GetString(objv[1]);
    if (std::strcmp(m, "-acquire") == 0) {
        inst->owns = true;
        acquire(inst->id);
        return TCL_OK;
    }
    if (std::strcmp(m, "-disown") == 0) {
        if (inst->owns) disown(inst->id);
        inst->owns = false;
        return TCL_OK;
    }
    if (std::strcmp(m, "-delete") == 0) {
        Tcl_DeleteCommandFromToken(interp, inst->token);
        return TCL_OK;
    }
    bool is_cget = std::strcmp(m, "cget") == 0;
    bool is_configure = std::strcmp(m, "configure") == 0;
    if (is_cget && objc < 3) return plain_error(interp, "wrong # args.");
    // An attribute name without a value would hand the setter a missing word.
    if (is_configure && (objc < 4 || objc % 2 != 0)) return plain_error(interp, "wrong # args.");

    // From here on inst may die in any call (a setter's argument may name
    // a foreign command whose "cget -this" deletes this object's command):
    // only h and the class descriptors are used after a call.
    Tcl_Obj* h = inst->handle;
    Tcl_IncrRefCount(h);
    int rc;
    // A method: one lookup in the class's table of reachable methods. The
    // walk stays for cget, configure and the error message.
    auto it = is_cget || is_configure ? inst->cls->reachable.end()
                                      : inst->cls->reachable.find(std::string_view(m));
    if (it != inst->cls->reachable.end())
        rc = call_with_handle(it->second, interp, h, objc, objv);
    else
        rc = walk(interp, inst->cls, inst->id, h, m, objc, objv);
    Tcl_DecrRefCount(h);
    return rc;
}

// `<class> ...`: constructs (or wraps with -this) and makes an object command.
int class_cmd(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    auto* c = static_cast<ClassDesc*>(cd);
    if (!c) return plain_error(interp, "swig: internal runtime error. No class object defined.");
    auto word = [&](int i) { return Tcl_GetString(objv[i]); };

    Tcl_Obj* name = nullptr;  // null: named after the handle
    Tcl_Obj* wrap = nullptr;  // -this H
    int first = 1;            // objv index of the word before the arguments
    if (objc == 1) {
        first = 0;
    } else if (std::strcmp(word(1), "-this") == 0) {
        if (objc < 3) return plain_error(interp, "wrong # args.");
        wrap = objv[2];
    } else if (std::strcmp(word(1), "-args") == 0) {
        first = 1;
    } else if (objc == 2) {
        name = objv[1];
    } else if (std::strcmp(word(2), "-this") == 0) {
        if (objc < 4) return plain_error(interp, "wrong # args.");
        name = objv[1];
        wrap = objv[3];
    } else {
        name = objv[1];
    }

    Tcl_Obj* handle;
    if (wrap) {
        handle = wrap;
    } else {
        if (!c->ctor) return plain_error(interp, "No constructor available.");
        int rc = c->ctor.proc(c->ctor.cd, interp, objc - first, objv + first);
        if (rc != TCL_OK) return rc;
        handle = Tcl_GetObjResult(interp);
    }
    Tcl_Obj* h = Tcl_DuplicateObj(handle);
    Tcl_IncrRefCount(h);
    void* addr;
    Id id;
    if (convert_ptr(interp, h, c->def->type, &addr, 0, &id) != OK || !addr) {
        Tcl_DecrRefCount(h);
        if (Tcl_GetStringResult(interp)[0] == '\0')
            Tcl_AppendResult(interp, "cannot wrap \"", Tcl_GetString(wrap), "\" as ", c->def->name,
                             nullptr);
        return TCL_ERROR;
    }
    // convert_ptr may have resolved a command name: keep the handle itself.
    Tcl_DecrRefCount(h);
    h = new_handle(id, c->def->type);
    if (wrap) {
        // Keep the handle's own type name as given.
        const char* w = Tcl_GetString(wrap);
        if (w[0] == '_') {
            Tcl_DecrRefCount(h);
            h = Tcl_DuplicateObj(wrap);
        }
    }
    Tcl_IncrRefCount(h);
    bool own = wrap == nullptr;
    auto* inst = new Instance{h, id, c, own, nullptr};
    if (own) acquire(id);
    create_instance_command(interp, Tcl_GetString(name ? name : h), inst);
    return TCL_OK;
}

}  // namespace qb

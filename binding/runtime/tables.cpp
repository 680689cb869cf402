// Builds the class descriptors and the procedure of every command from
// the command table, once per process, after checking that the table is
// consistent: a mistake in it stops the package from loading.
#include <map>
#include <set>

#include "../command_table.h"
#include "instances.h"
#include "tables.h"

namespace qb {
namespace {

std::map<std::string, ClassDesc*>& class_map() {
    static auto* m = new std::map<std::string, ClassDesc*>;
    return *m;
}

// Calls visit(class) depth first: the class, then each base with its own
// bases first, at most 64 classes.
template <class Visit> void walk_classes(ClassDesc* start, Visit visit) {
    ClassDesc* stack[64];
    int top = 0, depth = 0;
    stack[top++] = start;
    while (top > 0 && depth++ < 64) {
        ClassDesc* c = stack[--top];
        visit(c);
        for (auto b = c->bases.rbegin(); b != c->bases.rend() && top < 64; ++b) stack[top++] = *b;
    }
}

std::string build() {
    std::vector<const Entry*> all;
    for (const auto& section : command_table())
        for (const Entry& e : section) all.push_back(&e);
    std::vector<std::string> mistakes = check_table(all);
    if (!mistakes.empty()) {
        std::string msg = "quenz: the command table is inconsistent:";
        for (const std::string& m : mistakes) msg += "\n  " + m;
        return msg;
    }
    std::map<std::string, CmdImpl> cmds;
    for (const Entry* e : all) {
        if (e->kind == Entry::Upcast) set_upcast(e->from, e->to, e->cast);
        else if (e->kind != Entry::Class) cmds[e->name] = impl_of(*e);
    }
    auto find = [&](const std::string& n) {
        auto it = cmds.find(n);
        return it == cmds.end() ? CmdImpl{} : it->second;
    };
    for (const Entry* e : all) {
        if (e->kind != Entry::Class) continue;
        const ClassDef& d = e->cls;
        auto* c = new ClassDesc{&d, find(std::string("new_") + d.name), {}, {}, {}, {}};
        for (const char* m : d.methods) c->methods.emplace_back(m, find(std::string(d.name) + "_" + m));
        for (const Attr& a : d.attrs) {
            std::string base = std::string(d.name) + "_" + (a.name + 1);
            c->attrs.push_back({a.name, find(base + "_get"), a.readonly ? CmdImpl{} : find(base + "_set")});
        }
        class_map()[d.name] = c;
        type_record(d.type).cls = c;
        if (d.dtor) set_destructor(d.type, d.dtor);
    }
    // Bases are named by readable type names.
    for (auto& [name, c] : class_map())
        for (const char* b : c->def->bases) c->bases.push_back(type_record(type_by_readable(b)).cls);
    for (auto& [name, c] : class_map())
        walk_classes(c, [&](ClassDesc* k) {
            for (auto& [m, f] : k->methods) c->reachable.emplace(m, f);  // keeps the first of a name
        });
    return {};
}

}  // namespace

ClassDesc* class_desc(const std::string& name) {
    auto it = class_map().find(name);
    return it == class_map().end() ? nullptr : it->second;
}

std::vector<std::string> check_table(const std::vector<const Entry*>& entries) {
    std::vector<std::string> out;
    std::set<std::string> names, classes, used;
    for (const Entry* e : entries) {
        if (e->kind == Entry::Upcast) continue;
        if (!names.insert(e->name).second) out.push_back("command \"" + e->name + "\" is declared twice");
        for (const Sig& s : e->sigs)
            if (std::string m = check_sig(s); !m.empty()) out.push_back(m);
        if (e->kind == Entry::Class) classes.insert(e->name);
    }
    auto need = [&](const std::string& cls, const std::string& cmd, const char* what,
                    const std::string& item) {
        if (!names.count(cmd) || classes.count(cmd))
            out.push_back("class \"" + cls + "\" lists " + what + " \"" + item + "\" but there is no command \"" + cmd + "\"");
        used.insert(cmd);
    };
    for (const Entry* e : entries) {
        if (e->kind != Entry::Class) continue;
        const ClassDef& d = e->cls;
        std::set<std::string> listed;
        for (const char* m : d.methods) {
            if (!listed.insert(m).second) out.push_back("class \"" + e->name + "\" lists method \"" + m + "\" twice");
            need(e->name, e->name + "_" + m, "method", m);
        }
        for (const Attr& a : d.attrs) {
            std::string base = e->name + "_" + (a.name + 1);
            need(e->name, base + "_get", "attribute", a.name);
            if (!a.readonly) need(e->name, base + "_set", "attribute", a.name);
        }
        for (const char* b : d.bases) {
            Ty t = type_by_readable(b);
            bool found = false;
            for (const Entry* k : entries)
                if (k->kind == Entry::Class && k->cls.type == t) found = true;
            if (t == T_count || !found)
                out.push_back("class \"" + e->name + "\" names base \"" + b + "\", which is no class");
        }
    }
    // A command named <class>_<word> (after the longest class name it starts
    // with) is a method or attribute accessor that its class must list.
    for (const Entry* e : entries) {
        if (e->kind == Entry::Upcast || e->kind == Entry::Class || used.count(e->name)) continue;
        std::string owner;
        for (const std::string& c : classes)
            if (e->name.size() > c.size() + 1 && e->name.compare(0, c.size() + 1, c + "_") == 0 &&
                c.size() > owner.size())
                owner = c;
        if (!owner.empty())
            out.push_back("command \"" + e->name + "\" is not listed by class \"" + owner + "\"");
    }
    return out;
}

const std::string& build_tables() {
    static const std::string result = build();  // once per process, thread-safe
    return result;
}

}  // namespace qb

// Builds the class descriptors and the procedure of every command from
// the command table, once per process, after checking that the table is
// consistent: a mistake in it stops the package from loading.
#include <algorithm>
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
    const auto methods = class_methods(all);
    for (const Entry* e : all) {
        if (e->kind != Entry::Class) continue;
        const ClassDef& d = e->cls;
        auto* c = new ClassDesc{&d, find(std::string("new_") + d.name), {}, {}, {}, {}};
        if (auto m = methods.find(d.name); m != methods.end())
            for (const std::string& name : m->second) c->methods.emplace_back(name, find(e->name + "_" + name));
        for (const Attr& a : d.attrs) {
            std::string base = std::string(d.name) + "_" + (a.name + 1);
            c->attrs.push_back({a.name, find(base + "_get"), a.readonly ? CmdImpl{} : find(base + "_set")});
        }
        class_map()[d.name] = c;
        type_record(d.type).cls = c;
        if (d.dtor) set_destructor(d.type, d.dtor);
    }
    // Bases: the classes the upcasts lead to, in the order of the upcasts.
    for (const Entry* e : all)
        if (e->kind == Entry::Upcast && type_record(e->from).cls)
            type_record(e->from).cls->bases.push_back(type_record(e->to).cls);
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

namespace {

// The class a command named <class>_<word> belongs to: the longest class
// name it begins with; empty for any other command.
std::string owner_of(const std::string& cmd, const std::set<std::string>& classes) {
    std::string owner;
    for (const std::string& c : classes)
        if (cmd.size() > c.size() + 1 && cmd.compare(0, c.size() + 1, c + "_") == 0 && c.size() > owner.size())
            owner = c;
    return owner;
}

std::set<std::string> class_names(const std::vector<const Entry*>& entries) {
    std::set<std::string> out;
    for (const Entry* e : entries)
        if (e->kind == Entry::Class) out.insert(e->name);
    return out;
}

// The accessor commands of every class's attributes.
std::set<std::string> accessors(const std::vector<const Entry*>& entries) {
    std::set<std::string> out;
    for (const Entry* e : entries) {
        if (e->kind != Entry::Class) continue;
        for (const Attr& a : e->cls.attrs) {
            std::string base = e->name + "_" + (a.name + 1);
            out.insert(base + "_get");
            if (!a.readonly) out.insert(base + "_set");
        }
    }
    return out;
}

}  // namespace

ClassMethods class_methods(const std::vector<const Entry*>& entries, std::vector<std::string>* mistakes) {
    const std::set<std::string> classes = class_names(entries), attr_cmds = accessors(entries);
    std::map<std::string, std::vector<std::pair<int, std::string>>> placed;
    ClassMethods out;
    for (const Entry* e : entries) {
        if (e->kind == Entry::Upcast || e->kind == Entry::Class) continue;
        std::string owner = owner_of(e->name, classes);
        if (owner.empty() || attr_cmds.count(e->name)) {
            if (e->place >= 0 && mistakes)
                mistakes->push_back("command \"" + e->name + "\" has a place in a class's list but is no method");
            continue;
        }
        std::string method = e->name.substr(owner.size() + 1);
        if (e->place >= 0) placed[owner].emplace_back(e->place, method);
        else out[owner].push_back(method);
    }
    for (auto& [cls, list] : placed) {
        std::sort(list.begin(), list.end());
        std::vector<std::string> first;
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].first != int(i) && mistakes)
                mistakes->push_back("class \"" + cls + "\": method \"" + list[i].second + "\" has place " +
                                    std::to_string(list[i].first) + ", expected " + std::to_string(i));
            first.push_back(list[i].second);
        }
        std::vector<std::string>& rest = out[cls];
        rest.insert(rest.begin(), first.begin(), first.end());
    }
    return out;
}

std::vector<std::string> check_table(const std::vector<const Entry*>& entries) {
    std::vector<std::string> out;
    std::set<std::string> names, classes = class_names(entries);
    const std::vector<std::string> class_list(classes.begin(), classes.end());
    for (const Entry* e : entries) {
        if (e->kind == Entry::Upcast) continue;
        if (!names.insert(e->name).second) out.push_back("command \"" + e->name + "\" is declared twice");
        for (const Sig& s : e->sigs)
            if (std::string m = check_sig(s, class_list); !m.empty()) out.push_back(m);
    }
    auto need = [&](const std::string& cls, const std::string& cmd, const Attr& a) {
        if (!names.count(cmd) || classes.count(cmd))
            out.push_back("class \"" + cls + "\" lists attribute \"" + a.name + "\" but there is no command \"" + cmd + "\"");
    };
    for (const Entry* e : entries) {
        if (e->kind != Entry::Class) continue;
        const ClassDef& d = e->cls;
        for (const Attr& a : d.attrs) {
            std::string base = e->name + "_" + (a.name + 1);
            need(e->name, base + "_get", a);
            if (!a.readonly) need(e->name, base + "_set", a);
        }
    }
    // An upcast between classes makes a base; one from a class must lead to
    // a class, or its objects would lose the methods they are promised.
    auto class_of = [&](Ty t) -> const Entry* {
        for (const Entry* k : entries)
            if (k->kind == Entry::Class && k->cls.type == t) return k;
        return nullptr;
    };
    for (const Entry* e : entries)
        if (e->kind == Entry::Upcast && class_of(e->from) && !class_of(e->to))
            out.push_back("class \"" + class_of(e->from)->name + "\" has an upcast to \"" +
                          type_record(e->to).readable + "\", which is no class");
    class_methods(entries, &out);
    return out;
}

const std::string& build_tables() {
    static const std::string result = build();  // once per process, thread-safe
    return result;
}

}  // namespace qb

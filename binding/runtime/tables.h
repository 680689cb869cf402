// The process's command tables, built once from binding/command_table.cpp:
// the procedure of every command and the descriptor of every class, after
// a check that the tables are consistent.
#pragma once
#include <tcl.h>

#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "entries.h"

namespace qb {

struct CmdImpl {
    Tcl_ObjCmdProc* proc = nullptr;
    ClientData cd = nullptr;
    explicit operator bool() const { return proc != nullptr; }
};

struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

struct ClassDesc {
    const ClassDef* def;
    CmdImpl ctor;
    std::vector<std::pair<std::string, CmdImpl>> methods;
    struct AttrImpl {
        std::string name;
        CmdImpl get, set;
    };
    std::vector<AttrImpl> attrs;
    std::vector<ClassDesc*> bases;  // resolved when the tables are built
    // The first method of each name on the depth-first walk through the
    // class and its bases, so that a method call is one hash lookup.
    std::unordered_map<std::string, CmdImpl, NameHash, std::equal_to<>> reachable;
};

// The methods of each class, by class name: every command named
// <class>_<method> (after the longest class name it begins with) that is
// not an accessor of the class's attributes, in list order (listed_at in
// entries.h). Mistakes in the places are added to mistakes if given.
using ClassMethods = std::map<std::string, std::vector<std::string>>;
ClassMethods class_methods(const std::vector<const Entry*>& entries,
                           std::vector<std::string>* mistakes = nullptr);

// The mistakes a table can hold, one message each: a signature whose
// format letters or type texts do not match its body's parameters, a
// listed attribute without its command, a command name given twice, an
// unknown base, a place in a class's list given to no method or not one
// of 0, 1, 2, ... in turn.
std::vector<std::string> check_table(const std::vector<const Entry*>& entries);

// Builds the tables once per process; the empty string, or the check's
// messages when the table is inconsistent.
const std::string& build_tables();

CmdImpl impl_of(const Entry& e);  // the procedure and client data of an entry
ClassDesc* class_desc(const std::string& name);

// Creates the commands of entries that live outside the command table (a
// host program's or test extension's own); entries must outlive interp.
// Class entries need the process tables, so only plain commands here.
// Checks the entries as the table is checked: on a mistake nothing is
// created, the messages are the result and the answer is TCL_ERROR.
int create_commands(Tcl_Interp* interp, const std::vector<Entry>& entries);
// The same for a section of the checked table.
void create_table_commands(Tcl_Interp* interp, const std::vector<Entry>& entries);

}  // namespace qb

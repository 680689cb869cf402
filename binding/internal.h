// Runtime pieces shared between the binding's own source files.
#pragma once
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime.h"

namespace qb {

struct ClassDesc;

struct TypeRecord {
    const char* mangled;
    const char* readable;
    std::uint32_t accepts;  // bit per Ty whose handles this type accepts
    Ty family;              // root of the inheritance family (address lookup)
    void (*dtor)(void*) = nullptr;
    ClassDesc* cls = nullptr;
};

TypeRecord& type_record(Ty t);
// Binary search by mangled name; T_count if unknown.
Ty type_by_mangled(const char* name, std::size_t len);
// Mangled name or one of the readable names (blanks ignored).
Ty type_by_readable(const char* name);
void* cast_address(void* addr, Ty from, Ty to);
// The address of a live id named by a handle of type `named`, as `want`.
void* resolve(Id id, Ty named, Ty want, bool for_delete = false);

// Decodes "_xxxxxxxx<mangled>" into id and type; false if malformed.
// Pure text work, no interpreter: the fuzz target calls it directly.
bool parse_handle(const char* text, Id* id, Ty* type);

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

struct Instance {
    Tcl_Obj* handle;
    Id id;
    ClassDesc* cls;
    bool owns;
    Tcl_Command token = nullptr;
    Tcl_Interp* interp = nullptr;
    Tcl_ThreadId thread = nullptr;
};

// Creates an object command for inst (replacing any of that name).
void create_instance_command(Tcl_Interp* interp, const char* name, Instance* inst);
// Deletes the object commands of a destroyed object in this thread's
// interpreters, so no stale command outlives its object.
void drop_commands(Id id);

// The process-wide lock over the registry, the ownership table and the
// linked image pointers (the viewer thread runs a second interpreter).
std::mutex& state_mutex();

// The module record's id, for "swig_runtime_data_type_pointer4".
Id module_id();

int class_cmd(ClientData, Tcl_Interp*, int, Tcl_Obj* const*);
void object_delete(ClientData);

CmdImpl impl_of(const Entry& e);  // the procedure and client data of an entry
void build_tables();  // once per process
const std::vector<Group*>& groups();

}  // namespace qb

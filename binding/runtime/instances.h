// Object commands and their records: one Instance per Tcl command that
// names an object. Deleting the command is the one path that ends it.
#pragma once
#include <tcl.h>

#include "registry.h"

namespace qb {

struct ClassDesc;

struct Instance {
    Tcl_Obj* handle;
    Id id;
    ClassDesc* cls;
    bool owns;
    Tcl_Command token = nullptr;
    Tcl_Interp* interp = nullptr;
    Tcl_ThreadId thread = nullptr;
};

// Makes the handle of a returned object; creates its object command when
// its type has a class (always when `own`).
Tcl_Obj* new_instance(Tcl_Interp* interp, void* addr, Ty t, bool own, Id owner = 0);
// Creates an object command for inst (replacing any of that name); false,
// with inst freed, when interp is being deleted (no command can be made).
bool create_instance_command(Tcl_Interp* interp, const char* name, Instance* inst);
// Deletes the object commands of a destroyed object in this thread's
// interpreters, so no stale command outlives its object.
void drop_commands(Id id);
// The delete procedure of every object command.
void object_delete(ClientData);

// Keeps an interpreter's memory while a command that may run scripts uses
// it: a script can delete the interpreter under the command.
struct Preserved {
    Tcl_Interp* interp;
    explicit Preserved(Tcl_Interp* i) : interp(i) { Tcl_Preserve(i); }
    ~Preserved() { Tcl_Release(interp); }
    Preserved(const Preserved&) = delete;
    Preserved& operator=(const Preserved&) = delete;
};

// The object and class command procedures (object_cmd also serves to
// recognise our own commands when a name is resolved).
int object_cmd(ClientData, Tcl_Interp*, int, Tcl_Obj* const*);
// When args are the words a method wrapper was called with by an object
// command: the words the script wrote ("obj method ..."); else null.
Tcl_Obj* const* method_call_words(Tcl_Obj* const* args);
int class_cmd(ClientData, Tcl_Interp*, int, Tcl_Obj* const*);

}  // namespace qb

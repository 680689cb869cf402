// Object command records: created with their command, found by id when
// their object is destroyed, freed by the command's delete procedure.
#include <unordered_map>
#include <vector>

#include "handle.h"
#include "instances.h"
#include "safety.h"
#include "tables.h"

namespace qb {

static std::unordered_multimap<Id, Instance*>& instances() {
    static auto* m = new std::unordered_multimap<Id, Instance*>;
    return *m;
}

static void forget_instance(Instance* inst) {
    std::lock_guard lock(state_lock());
    auto range = instances().equal_range(inst->id);
    for (auto i = range.first; i != range.second; ++i)
        if (i->second == inst) {
            instances().erase(i);
            break;
        }
}

bool create_instance_command(Tcl_Interp* interp, const char* name, Instance* inst) {
    inst->interp = interp;
    inst->thread = Tcl_GetCurrentThread();
    if (!Tcl_InterpDeleted(interp)) {
        {
            std::lock_guard lock(state_lock());
            instances().emplace(inst->id, inst);
        }
        inst->token = Tcl_CreateObjCommand(interp, name, &object_cmd, inst, &object_delete);
        if (inst->token) return true;
        forget_instance(inst);
    }
    Tcl_DecrRefCount(inst->handle);
    delete inst;
    return false;
}

void drop_commands(Id id) {
    // One command at a time, looked up afresh: deleting one runs its delete
    // traces, scripts that may delete or create any command, including
    // other commands of this object (whose records then are gone).
    for (;;) {
        Tcl_Interp* interp = nullptr;
        Tcl_Command token = nullptr;
        {
            std::lock_guard lock(state_lock());
            auto range = instances().equal_range(id);
            for (auto i = range.first; i != range.second; ++i)
                if (i->second->thread == Tcl_GetCurrentThread()) {
                    Instance* inst = i->second;
                    inst->owns = false;
                    interp = inst->interp;
                    token = inst->token;
                    instances().erase(i);
                    break;
                }
        }
        if (!interp) return;
        Tcl_DeleteCommandFromToken(interp, token);
    }
}

Tcl_Obj* new_instance(Tcl_Interp* interp, void* addr, Ty t, bool own, Id owner) {
    Id id = register_object(addr, t, owner, domain_of(interp));
    Tcl_Obj* h = new_handle(id, t);
    ClassDesc* c = type_record(t).cls;
    // An object destroyed meanwhile (by another thread) gets no command.
    if (c && is_live(id)) {
        const char* name = Tcl_GetString(h);
        Tcl_CmdInfo info;
        if (own || !Tcl_GetCommandInfo(interp, name, &info)) {
            auto* inst = new Instance{h, id, c, own, nullptr};
            Tcl_IncrRefCount(h);
            if (own) acquire(id);
            // In an interpreter being deleted nobody could ever own it.
            if (!create_instance_command(interp, name, inst) && own) destroy_object(id);
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

}  // namespace qb

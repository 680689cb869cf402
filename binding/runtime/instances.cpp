// Object command records: created with their command, found by id when
// their object is destroyed, freed by the command's delete procedure.
#include <unordered_map>
#include <vector>

#include "handle.h"
#include "instances.h"
#include "tables.h"

namespace qb {


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

}  // namespace qb

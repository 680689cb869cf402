// Handles as Tcl objects: a handle keeps its parsed id and type, so the
// one an object command passes to each of its method calls is parsed once.
#include <cstdint>
#include <cstring>

#include "handle.h"

namespace qb {

Tcl_Obj* new_handle(Id id, Ty t) {
    std::string s = handle_text(id, t);
    return Tcl_NewStringObj(s.data(), int(s.size()));
}

namespace {

// A handle keeps its parsed id and type in its Tcl_Obj, so the handle an
// object command passes to each of its method calls is parsed once. The
// text is never changed; the registry is still asked on every use.
void dup_handle_rep(Tcl_Obj* src, Tcl_Obj* dup) {
    dup->internalRep = src->internalRep;
    dup->typePtr = src->typePtr;
}
void handle_string(Tcl_Obj* obj) {
    std::string s = handle_text(Id(std::uintptr_t(obj->internalRep.twoPtrValue.ptr1)),
                                Ty(std::uintptr_t(obj->internalRep.twoPtrValue.ptr2)));
    obj->bytes = Tcl_Alloc(unsigned(s.size() + 1));
    std::memcpy(obj->bytes, s.c_str(), s.size() + 1);
    obj->length = int(s.size());
}
const Tcl_ObjType handle_type = {"quenz-handle", nullptr, dup_handle_rep, handle_string, nullptr};

}  // namespace

bool is_handle_obj(const Tcl_Obj* obj) { return obj->typePtr == &handle_type; }

bool parse_handle_obj(Tcl_Obj* obj, Id* id, Ty* t) {
    if (obj->typePtr == &handle_type) {
        *id = Id(std::uintptr_t(obj->internalRep.twoPtrValue.ptr1));
        *t = Ty(std::uintptr_t(obj->internalRep.twoPtrValue.ptr2));
        return true;
    }
    if (!parse_handle(Tcl_GetString(obj), id, t)) return false;
    if (obj->typePtr && obj->typePtr->freeIntRepProc) obj->typePtr->freeIntRepProc(obj);
    obj->internalRep.twoPtrValue.ptr1 = reinterpret_cast<void*>(std::uintptr_t(*id));
    obj->internalRep.twoPtrValue.ptr2 = reinterpret_cast<void*>(std::uintptr_t(*t));
    obj->typePtr = &handle_type;
    return true;
}

}  // namespace qb

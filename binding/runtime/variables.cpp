// The linked variables: the read-only image constants and the three image
// pointers cimg, cimg_f and cimg_c that scripts hand to and from the
// library by name.
#include "variables.h"

#include "convert.h"
#include "handle.h"
#include "imgclass/constants.h"

namespace qb {
namespace {

// The three image pointers scripts hand to and from the library by name.
// Held as registry ids, so a destroyed image reads back as "NULL".
struct Linked {
    const char* name;
    Ty type;
    const char* type_text;
    Id id;
};
Linked linked[] = {
    {"cimg", T_bild16, "bild16 *", 0},
    {"cimg_f", T_bildfloat, "bildfloat *", 0},
    {"cimg_c", T_bildcomplex, "bildcomplex *", 0},
};

enum VarKind { V_MAX, V_MIN, V_PIX, V_CIMG, V_CIMG_F, V_CIMG_C };
struct VarEntry {
    const char* name;
    VarKind kind;
};
const VarEntry variables[] = {
    {"bild16_intensity_max", V_MAX}, {"bild16_intensity_min", V_MIN},
    {"bildfloat_pix_size", V_PIX},   {"cimg", V_CIMG},
    {"cimg_f", V_CIMG_F},            {"cimg_c", V_CIMG_C},
};

Tcl_Obj* var_value(VarKind k) {
    switch (k) {
        case V_MAX: return Tcl_NewIntObj(quenz::bild16_intensity_max);
        case V_MIN: return Tcl_NewIntObj(quenz::bild16_intensity_min);
        case V_PIX: return Tcl_NewDoubleObj(double(quenz::bildfloat_pix_size));
        default: {
            Linked& l = linked[k - V_CIMG];
            Id id;
            {
                std::lock_guard lock(state_mutex());
                id = l.id;
            }
            if (id && lookup(id, l.type)) return new_handle(id, l.type);
            return Tcl_NewStringObj("NULL", 4);
        }
    }
}

char* read_proc(ClientData cd, Tcl_Interp* interp, const char* n1, const char* n2, int flags) {
    auto* v = static_cast<const VarEntry*>(cd);
    Tcl_Obj* o = var_value(v->kind);
    Tcl_IncrRefCount(o);
    Tcl_SetVar2(interp, n1, n2, Tcl_GetString(o), flags);
    Tcl_DecrRefCount(o);
    return nullptr;
}

char* readonly_proc(ClientData, Tcl_Interp*, const char*, const char*, int) {
    return const_cast<char*>("Variable is read-only");
}

char* pointer_write_proc(ClientData cd, Tcl_Interp* interp, const char* n1, const char*,
                         int flags) {
    auto* v = static_cast<const VarEntry*>(cd);
    Linked& l = linked[v->kind - V_CIMG];
    Tcl_Obj* name = Tcl_NewStringObj(n1, -1);
    Tcl_IncrRefCount(name);
    Tcl_Obj* value = Tcl_ObjGetVar2(interp, name, nullptr, flags);
    Tcl_DecrRefCount(name);
    if (!value) return const_cast<char*>(l.name);
    void* addr;
    Id id;
    if (convert_ptr(interp, value, l.type, &addr, 0, &id) != OK) {
        set_error(interp, "TypeError",
                  std::string("in variable '") + l.name + "' of type '" + l.type_text + "'");
        return const_cast<char*>(l.name);
    }
    std::lock_guard lock(state_mutex());
    l.id = id;
    return nullptr;
}

}  // namespace

void register_variables(Tcl_Interp* interp) {
    for (const VarEntry& v : variables) {
        ClientData cd = const_cast<VarEntry*>(&v);
        Tcl_SetVar(interp, v.name, "", TCL_GLOBAL_ONLY);
        Tcl_TraceVar(interp, v.name, TCL_TRACE_READS | TCL_GLOBAL_ONLY, read_proc, cd);
        Tcl_TraceVar(interp, v.name, TCL_TRACE_WRITES | TCL_GLOBAL_ONLY,
                     v.kind >= V_CIMG ? pointer_write_proc : readonly_proc, cd);
    }
}

}  // namespace qb

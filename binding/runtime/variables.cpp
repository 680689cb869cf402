// The linked variables: the read-only image constants and the three image
// pointers cimg, cimg_f and cimg_c that scripts hand to and from the
// library by name.
#include "variables.h"

#include "convert.h"
#include "handle.h"
#include "imgclass/core/constants.h"

namespace qb {
namespace {

// The three image pointers scripts hand to and from the library by name.
// Held as registry ids, so a destroyed image reads back as "NULL".
struct Linked {
    const char* name;
    Ty type;
    const char* type_text;
};
const Linked linked[] = {
    {"cimg", T_bild16, "bild16 *"},
    {"cimg_f", T_bildfloat, "bildfloat *"},
    {"cimg_c", T_bildcomplex, "bildcomplex *"},
};
// Their values: one set shared by the trusted interpreters of the process,
// one of its own for each safe interpreter.
struct Links {
    Id ids[3] = {0, 0, 0};
};
Links trusted_links;

enum VarKind { V_MAX, V_MIN, V_PIX, V_CIMG, V_CIMG_F, V_CIMG_C };
struct VarEntry {
    const char* name;
    VarKind kind;
};
constexpr int n_variables = 6;
const VarEntry variables[n_variables] = {
    {"bild16_intensity_max", V_MAX}, {"bild16_intensity_min", V_MIN},
    {"bildfloat_pix_size", V_PIX},   {"cimg", V_CIMG},
    {"cimg_f", V_CIMG_F},            {"cimg_c", V_CIMG_C},
};

// A trace's client data: the variable and the values it reads and sets.
struct VarCtx {
    const VarEntry* v;
    Links* links;
};
struct SafeVars {
    Links links;
    VarCtx ctx[n_variables];
};
VarCtx trusted_ctx[n_variables] = {
    {&variables[0], &trusted_links}, {&variables[1], &trusted_links},
    {&variables[2], &trusted_links}, {&variables[3], &trusted_links},
    {&variables[4], &trusted_links}, {&variables[5], &trusted_links},
};

Tcl_Obj* var_value(VarKind k, Links& links) {
    switch (k) {
        case V_MAX: return Tcl_NewIntObj(quenz::bild16_intensity_max);
        case V_MIN: return Tcl_NewIntObj(quenz::bild16_intensity_min);
        case V_PIX: return Tcl_NewDoubleObj(double(quenz::bildfloat_pix_size));
        default: {
            const Linked& l = linked[k - V_CIMG];
            Id id;
            {
                std::lock_guard lock(state_lock());
                id = links.ids[k - V_CIMG];
            }
            if (id && lookup(id, l.type)) return new_handle(id, l.type);
            return Tcl_NewStringObj("NULL", 4);
        }
    }
}

char* read_proc(ClientData cd, Tcl_Interp* interp, const char* n1, const char* n2, int flags) {
    auto* c = static_cast<VarCtx*>(cd);
    Tcl_Obj* o = var_value(c->v->kind, *c->links);
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
    auto* c = static_cast<VarCtx*>(cd);
    const Linked& l = linked[c->v->kind - V_CIMG];
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
    std::lock_guard lock(state_lock());
    c->links->ids[c->v->kind - V_CIMG] = id;
    return nullptr;
}

void free_safe_vars(ClientData cd, Tcl_Interp*) { delete static_cast<SafeVars*>(cd); }

}  // namespace

void register_variables(Tcl_Interp* interp) {
    VarCtx* ctx = trusted_ctx;
    if (Tcl_IsSafe(interp)) {
        auto* safe = new SafeVars;
        Tcl_SetAssocData(interp, "quenz-variables", free_safe_vars, safe);
        ctx = safe->ctx;
        for (int i = 0; i < n_variables; ++i) ctx[i] = {&variables[i], &safe->links};
    }
    for (int i = 0; i < n_variables; ++i) {
        const VarEntry& v = variables[i];
        ClientData cd = &ctx[i];
        Tcl_SetVar(interp, v.name, "", TCL_GLOBAL_ONLY);
        Tcl_TraceVar(interp, v.name, TCL_TRACE_READS | TCL_GLOBAL_ONLY, read_proc, cd);
        Tcl_TraceVar(interp, v.name, TCL_TRACE_WRITES | TCL_GLOBAL_ONLY,
                     v.kind >= V_CIMG ? pointer_write_proc : readonly_proc, cd);
    }
}

}  // namespace qb

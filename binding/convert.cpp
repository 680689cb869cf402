// Handles, argument conversions and error reporting.
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>

#include "internal.h"

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

}  // namespace

int convert_ptr(Tcl_Interp* interp, Tcl_Obj* obj, Ty want, void** addr, int flags, Id* idp) {
    *addr = nullptr;
    if (idp) *idp = 0;
    Tcl_Obj* cur = obj;
    Tcl_IncrRefCount(cur);
    int rc = E_TYPE;
    // A command name stands for its object's handle; resolution is an exact
    // lookup, never a script evaluation of the given text.
    for (int depth = 0; depth < 8; ++depth) {
        const char* s = Tcl_GetString(cur);
        if (s[0] == '_') {
            Id id;
            Ty named;
            if (!parse_handle_obj(cur, &id, &named)) break;
            if (!(type_record(want).accepts >> named & 1)) break;
            void* p = resolve(id, named, want, flags & F_DISOWN);
            if (!p) break;
            if (flags & F_DISOWN) disown(id);
            *addr = p;
            if (idp) *idp = id;
            rc = OK;
            break;
        }
        if (std::strcmp(s, "NULL") == 0) {
            rc = OK;
            break;
        }
        if (!interp || s[0] == '\0') break;
        // (From the object: the lookup is remembered in it, as for a call.)
        Tcl_Command cmd = Tcl_GetCommandFromObj(interp, cur);
        Tcl_CmdInfo info;
        if (!cmd || !Tcl_GetCommandInfoFromToken(cmd, &info)) break;
        Tcl_Obj* next;
        if (info.isNativeObjectProc && info.objProc == &object_cmd) {
            next = static_cast<Instance*>(info.objClientData)->handle;
            Tcl_SetObjResult(interp, next);
        } else {
            // Someone else's object command: ask it for its handle, word by
            // word, so nothing in the name is substituted.
            Tcl_Obj* words[3] = {cur, Tcl_NewStringObj("cget", 4), Tcl_NewStringObj("-this", 5)};
            for (Tcl_Obj* w : words) Tcl_IncrRefCount(w);
            int code = Tcl_EvalObjv(interp, 3, words, 0);
            for (Tcl_Obj* w : words) Tcl_DecrRefCount(w);
            if (code != TCL_OK) {
                Tcl_ResetResult(interp);
                break;
            }
            next = Tcl_GetObjResult(interp);
        }
        Tcl_IncrRefCount(next);
        Tcl_DecrRefCount(cur);
        cur = next;
    }
    Tcl_DecrRefCount(cur);
    return rc;
}

const char* error_class(int code) {
    switch (code) {
        case -1: return "TypeError";
        case -2: return "IOError";
        case -3: return "RuntimeError";
        case -4: return "IndexError";
        case -5: return "TypeError";
        case -6: return "ZeroDivisionError";
        case -7: return "OverflowError";
        case -8: return "SyntaxError";
        case -9: return "ValueError";
        case -10: return "SystemError";
        case -11: return "AttributeError";
        case -12: return "MemoryError";
        default: return "RuntimeError";
    }
}

void set_error(Tcl_Interp* interp, const char* cls, const std::string& msg) {
    Tcl_ResetResult(interp);
    Tcl_SetErrorCode(interp, "SWIG", cls, nullptr);
    std::string text = std::string(cls) + " " + msg;
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), int(text.size())));
}

int get_long(Tcl_Interp*, Tcl_Obj* o, long* v) {
    return Tcl_GetLongFromObj(nullptr, o, v) == TCL_OK ? OK : E_TYPE;
}

int get_int(Tcl_Interp*, Tcl_Obj* o, int* v) {
    long l;
    if (Tcl_GetLongFromObj(nullptr, o, &l) != TCL_OK) return E_TYPE;
    if (l < INT_MIN || l > INT_MAX) return E_OVERFLOW;
    *v = int(l);
    return OK;
}

int get_ushort(Tcl_Interp*, Tcl_Obj* o, unsigned short* v) {
    long l;
    unsigned long u;
    if (Tcl_GetLongFromObj(nullptr, o, &l) == TCL_OK && l >= 0) {
        u = (unsigned long)l;
    } else {
        const char* s = Tcl_GetString(o);
        if (s[0] == '-') return E_OVERFLOW;
        if (s[0] == '\0') return E_TYPE;
        char* end;
        errno = 0;
        u = std::strtoul(s, &end, 0);
        if (*end != '\0') return E_TYPE;
        if (errno == ERANGE) return E_OVERFLOW;
    }
    if (u > 65535) return E_OVERFLOW;
    *v = (unsigned short)u;
    return OK;
}

int get_double(Tcl_Interp*, Tcl_Obj* o, double* v) {
    return Tcl_GetDoubleFromObj(nullptr, o, v) == TCL_OK ? OK : E_TYPE;
}

int get_float(Tcl_Interp*, Tcl_Obj* o, float* v) {
    double d;
    if (Tcl_GetDoubleFromObj(nullptr, o, &d) != TCL_OK) return E_TYPE;
    if (std::fabs(d) > FLT_MAX) return E_OVERFLOW;
    *v = float(d);
    return OK;
}

int get_floats(Tcl_Interp* interp, Tcl_Obj* o, std::vector<float>* out) {
    int n;
    Tcl_Obj** elems;
    if (Tcl_ListObjGetElements(interp, o, &n, &elems) != TCL_OK) return E_REPORTED;
    out->resize(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        double d;
        if (Tcl_GetDoubleFromObj(interp, elems[i], &d) != TCL_OK) return E_REPORTED;
        (*out)[std::size_t(i)] = float(d);
    }
    return OK;
}

}  // namespace qb

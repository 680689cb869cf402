// Number conversions: Tcl words to the C++ integer and float types, with
// the overflow and type codes of the error messages.
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "convert.h"

namespace qb {

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

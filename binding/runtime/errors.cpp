// Error results: the classes of the conversion codes, the message form,
// and the exception guard around every call into the library.
#include "errors.h"

#include "imgclass/system/error.h"

namespace qb {

const char* error_class(int code) {
    // Conversions fail with E_TYPE or E_OVERFLOW; the other codes never
    // reach a class (Sig::arg_error words them itself).
    switch (code) {
        case E_TYPE: return "TypeError";
        case E_OVERFLOW: return "OverflowError";
        default: return "RuntimeError";
    }
}

void set_error(Tcl_Interp* interp, const char* cls, const std::string& msg) {
    Tcl_ResetResult(interp);
    Tcl_SetErrorCode(interp, "SWIG", cls, nullptr);
    std::string text = std::string(cls) + " " + msg;
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), int(text.size())));
}

int guard_error(Tcl_Interp* interp) {
    try {
        throw;
    } catch (const quenz::Error& e) {
        set_error(interp, "RuntimeError", e.what());
    } catch (...) {
        set_error(interp, "RuntimeError", "Some C++-Error");
    }
    return TCL_ERROR;
}

int plain_error(Tcl_Interp* interp, const char* msg) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(msg, -1));
    return TCL_ERROR;
}

}  // namespace qb

// Conversion result codes and the error results scripts see: an error
// code {SWIG <class>} and the message "<class> <text>".
#pragma once
#include <tcl.h>

#include <string>

namespace qb {

enum : int {
    OK = 0,
    E_TYPE = -5,
    E_OVERFLOW = -7,
    E_NULLREF = -100,  // null given for a reference
    E_UNSAFE = -101,   // a file name in a safe interpreter
    E_BUSY = -102,     // an object another call is using, for a call that replaces its storage
    E_REPORTED = -200  // the converter left its own message in the result
};

// "TypeError" or "OverflowError" for a conversion's failure code.
const char* error_class(int code);
void set_error(Tcl_Interp* interp, const char* cls, const std::string& msg);
// Called from a catch block: a library exception becomes a RuntimeError.
int guard_error(Tcl_Interp* interp);
// A plain message without error code (the object protocol's own errors).
int plain_error(Tcl_Interp* interp, const char* msg);

}  // namespace qb

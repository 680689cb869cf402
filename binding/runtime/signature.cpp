// A signature's format: parsed once, and the count and argument error
// messages it gives.
#include "signature.h"

#include <algorithm>

namespace qb {

Sig make_sig(const char* fmt, std::initializer_list<const char*> types, int arity, CallFn call,
             TestFn test) {
    Sig s;
    s.fmt = fmt;
    s.arity = arity;
    std::size_t colon = std::min(s.fmt.find(':'), s.fmt.size());
    s.nargs = int(colon);
    std::string usage = colon < s.fmt.size() ? s.fmt.substr(colon + 1) : s.fmt;
    std::size_t blank = usage.find(' ');
    s.name = usage.substr(0, blank);
    // Usage texts end in a blank after the last argument name.
    if (s.nargs > 0 && s.fmt.back() != ' ') s.fmt += ' ';
    s.self = blank != std::string::npos && usage.compare(blank + 1, 5, "self ") == 0;
    if (s.nargs > 0 && usage.substr(blank + 1) == "self") s.self = true;
    for (const char* t : types) s.types.emplace_back(t);
    s.call = call;
    s.test = test;
    return s;
}

std::string check_sig(const Sig& s) {
    std::size_t colon = s.fmt.find(':');
    std::string head = "signature \"" + s.fmt + "\" of command \"" + s.name + "\"";
    if (colon == std::string::npos || s.fmt.find_first_not_of('o') < colon)
        return head + " does not begin with one \"o\" per argument and ':'";
    if (s.nargs != s.arity)
        return head + " has " + std::to_string(s.nargs) + " argument letters but its body takes " +
               std::to_string(s.arity) + " parameters";
    if (s.types.size() != std::size_t(s.arity))
        return head + " has " + std::to_string(s.types.size()) + " argument type texts but its body takes " +
               std::to_string(s.arity) + " parameters";
    return {};
}

int Sig::check_count(Tcl_Interp* interp, int objc) const {
    int given = objc - 1;
    if (given == nargs) return TCL_OK;
    std::string msg = given < nargs ? "Wrong number of arguments " : "Wrong # args.";
    msg += fmt.substr(fmt.find(':'));
    msg += " argument " + std::to_string(given < nargs ? given + 1 : nargs + 1);
    Tcl_ResetResult(interp);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(msg.data(), int(msg.size())));
    return TCL_ERROR;
}

int Sig::arg_error(Tcl_Interp* interp, int code, int pos) const {
    if (code == E_REPORTED) return TCL_ERROR;
    std::string type = pos >= 1 && std::size_t(pos) <= types.size() ? types[pos - 1] : "";
    std::string where =
        "in method '" + name + "', argument " + std::to_string(pos) + " of type '" + type + "'";
    if (code == E_NULLREF)
        set_error(interp, "ValueError", "invalid null reference " + where);
    else if (code == E_UNSAFE)
        set_error(interp, "IOError", where + ": file access is not allowed in a safe interpreter");
    else
        set_error(interp, error_class(code), where);
    return TCL_ERROR;
}

int Sig::deleted_interp_error(Tcl_Interp* interp) const {
    set_error(interp, "RuntimeError",
              "in method '" + name + "', the interpreter was deleted while the arguments were converted");
    return TCL_ERROR;
}

int Sig::destroyed_error(Tcl_Interp* interp) const {
    set_error(interp, "RuntimeError",
              "in method '" + name + "', an object was destroyed while the arguments were converted");
    return TCL_ERROR;
}

}  // namespace qb

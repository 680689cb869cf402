// A signature's format: parsed once, and the count and argument error
// messages it gives.
#include "signature.h"

#include <algorithm>

#include "instances.h"

namespace qb {

Sig make_sig(const char* fmt, std::initializer_list<const char*> types, int arity, CallFn call,
             TestFn test, Ty first_object, bool (*names)(int, std::string_view)) {
    Sig s;
    s.first_object = first_object;
    s.names = names;
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

std::string check_sig(const Sig& s, const std::vector<std::string>& classes) {
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
    if (s.names)
        for (int i = 0; i < s.arity; ++i)
            if (!s.names(i, s.types[std::size_t(i)]))
                return head + " gives argument " + std::to_string(i + 1) + " the type text \"" +
                       s.types[std::size_t(i)] + "\", which does not name its parameter's type";
    // Whose method it is: the longest class name the command's name begins with.
    std::string cls;
    for (const std::string& c : classes)
        if (c.size() > cls.size() && (s.name.compare(0, c.size() + 1, c + "_") == 0 || s.name == "delete_" + c))
            cls = c;
    const Ty cls_ty = cls.empty() ? T_count : type_by_readable((cls + " *").c_str());
    // (a deleter of a type that is no class, as the test library's, is its method too)
    const bool deleter = s.arity == 1 && s.first_object != T_count && s.name.find("delete_") != std::string::npos;
    const bool method = deleter || (cls_ty != T_count && s.first_object != T_count &&
                                    (s.first_object == cls_ty || (type_record(s.first_object).accepts >> cls_ty & 1u)));
    const std::vector<std::string> words = [&] {
        std::vector<std::string> w;
        std::string rest = s.fmt.substr(colon + 1);
        for (std::size_t p = rest.find(' '); p != std::string::npos;) {
            std::size_t e = rest.find(' ', p + 1);
            std::string word = rest.substr(p + 1, e == std::string::npos ? e : e - p - 1);
            if (!word.empty()) w.push_back(word);
            p = e;
        }
        return w;
    }();
    for (std::size_t i = 1; i < words.size(); ++i)
        if (words[i] == "self")
            return head + " calls argument " + std::to_string(i + 1) + " \"self\": only a method's first argument is";
    if (method != s.self)
        return head + (method ? " is a method of " + cls + ": its first argument's word must be \"self\""
                              : " calls its first argument \"self\" but it is no method (its type takes no object of the class the name begins with)");
    if (s.alone && !s.self) return head + " must run alone but is no method";
    return {};
}

int Sig::count_error(Tcl_Interp* interp, int objc, Tcl_Obj* const* objv) const {
    int given = objc - 1;
    if (!usage.empty()) return usage_error(interp, objv, usage);
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
    else if (code == E_BUSY)
        set_error(interp, "RuntimeError", where + ": the object is in use by another call");
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

namespace {

// The words of a format after the command name.
std::vector<std::string> arg_words(const Sig& s) {
    std::vector<std::string> words;
    std::string rest = s.fmt.substr(s.fmt.find(':') + 1);
    std::size_t pos = rest.find(' ');
    while (pos != std::string::npos) {
        std::size_t end = rest.find(' ', pos + 1);
        std::string w = rest.substr(pos + 1, end == std::string::npos ? end : end - pos - 1);
        if (!w.empty()) words.push_back(w);
        pos = end;
    }
    return words;
}

std::string joined(const std::vector<std::string>& words, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) out += (out.empty() ? "" : " ") + words[i];
    return out;
}

}  // namespace

std::string usage_of(const std::vector<Sig>& sigs) {
    std::vector<std::vector<std::string>> forms;
    for (const Sig& s : sigs) {
        auto w = arg_words(s);
        if (std::find(forms.begin(), forms.end(), w) == forms.end()) forms.push_back(w);
    }
    std::stable_sort(forms.begin(), forms.end(),
                     [](const auto& a, const auto& b) { return a.size() < b.size(); });
    bool chain = true;
    for (std::size_t i = 1; i < forms.size(); ++i)
        chain = chain && forms[i].size() > forms[i - 1].size() &&
                std::equal(forms[i - 1].begin(), forms[i - 1].end(), forms[i].begin());
    if (forms.empty()) return {};
    std::string out = joined(forms[0], 0, forms[0].size());
    for (std::size_t i = 1; i < forms.size(); ++i) {
        if (chain)
            out += (out.empty() ? "?" : " ?") + joined(forms[i], forms[i - 1].size(), forms[i].size()) + "?";
        else
            out += "\" or \"" + sigs[0].name + (forms[i].empty() ? "" : " ") + joined(forms[i], 0, forms[i].size());
    }
    return out;
}

int usage_error(Tcl_Interp* interp, Tcl_Obj* const* objv, const std::string& usage) {
    // Through an object: "obj method" stand for the command and "self".
    if (Tcl_Obj* const* call = method_call_words(objv)) {
        std::string rest = usage.compare(0, 5, "self ") == 0 ? usage.substr(5)
                           : usage == "self"                 ? std::string()
                                                             : usage;
        Tcl_WrongNumArgs(interp, 2, call, rest.empty() ? nullptr : rest.c_str());
    } else {
        Tcl_WrongNumArgs(interp, 1, objv, usage.empty() ? nullptr : usage.c_str());
    }
    return TCL_ERROR;
}

}  // namespace qb

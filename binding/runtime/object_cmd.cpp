// The object command: -acquire, -disown, -delete, cget, configure, and
// the methods of the object's class and its bases.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "instances.h"
#include "tables.h"

namespace qb {

namespace {
// The innermost method call of this thread, so that a usage message names
// the object and the method as the script wrote them.
struct MethodCall {
    Tcl_Obj* const* args;     // what the wrapper gets
    Tcl_Obj* const* written;  // what the script wrote
    MethodCall* outer;
};
[[gnu::tls_model("initial-exec")]] thread_local MethodCall* innermost = nullptr;

struct EnterMethod {
    MethodCall call;
    EnterMethod(Tcl_Obj* const* args, Tcl_Obj* const* written) : call{args, written, innermost} {
        innermost = &call;
    }
    ~EnterMethod() { innermost = call.outer; }
    EnterMethod(const EnterMethod&) = delete;
    EnterMethod& operator=(const EnterMethod&) = delete;
};
}  // namespace

Tcl_Obj* const* method_call_words(Tcl_Obj* const* args) {
    return innermost && innermost->args == args ? innermost->written : nullptr;
}

// Calls a method wrapper with the handle in place of objv[1] (the method
// word of a method call). The caller holds a reference to h: the call may
// delete the command and its record.
static int call_with_handle(CmdImpl f, Tcl_Interp* interp, Tcl_Obj* h, int objc,
                            Tcl_Obj* const objv[], bool method = false) {
    Tcl_Obj* few[8];  // no allocation for the usual short calls
    std::vector<Tcl_Obj*> many;
    Tcl_Obj** args = few;
    if (objc > 8) {
        many.resize(std::size_t(objc));
        args = many.data();
    }
    std::copy(objv, objv + objc, args);
    args[1] = h;
    if (!method) return f.proc(f.cd, interp, objc, args);
    EnterMethod enter(args, objv);
    return f.proc(f.cd, interp, objc, args);
}

namespace {

// A method word remembers the method it named on the class it was last
// used with, as Tcl remembers a command in its name's object: a call
// through the same word (a literal in compiled code) skips hashing the
// name. Class descriptors and their reachable tables are built once per
// process and never change or go away, so the class pointer is the whole
// key; another class's object sees a miss and looks the name up again.
using Reachable = decltype(ClassDesc::reachable)::value_type;

void dup_method_rep(Tcl_Obj* src, Tcl_Obj* dup) {
    dup->internalRep = src->internalRep;
    dup->typePtr = src->typePtr;
}
void method_string(Tcl_Obj* obj) {
    const std::string& s = static_cast<const Reachable*>(obj->internalRep.twoPtrValue.ptr2)->first;
    obj->bytes = Tcl_Alloc(unsigned(s.size() + 1));
    std::memcpy(obj->bytes, s.c_str(), s.size() + 1);
    obj->length = int(s.size());
}
const Tcl_ObjType method_type = {"quenz-method", nullptr, dup_method_rep, method_string, nullptr};

const CmdImpl* cached_method(Tcl_Obj* word, const ClassDesc* cls) {
    if (word->typePtr != &method_type || word->internalRep.twoPtrValue.ptr1 != cls) return nullptr;
    return &static_cast<const Reachable*>(word->internalRep.twoPtrValue.ptr2)->second;
}

// One lookup in the class's table of reachable methods; a hit is kept in
// the word.
const CmdImpl* find_method(Tcl_Obj* word, ClassDesc* cls) {
    int len;
    const char* m = Tcl_GetStringFromObj(word, &len);
    auto it = cls->reachable.find(std::string_view(m, std::size_t(len)));
    if (it == cls->reachable.end()) return nullptr;
    if (word->typePtr && word->typePtr->freeIntRepProc) word->typePtr->freeIntRepProc(word);
    word->internalRep.twoPtrValue.ptr1 = cls;
    word->internalRep.twoPtrValue.ptr2 = const_cast<Reachable*>(&*it);
    word->typePtr = &method_type;
    return &it->second;
}

// Calls a method with the object's handle. inst may die in the call (a
// setter's argument may name a foreign command whose "cget -this" deletes
// this object's command): only h is used after it. No Tcl_Preserve here:
// nothing after the call touches the interpreter, and the call holds it
// itself if it runs a script.
int call_method(const CmdImpl& f, Tcl_Interp* interp, Instance* inst, int objc,
                Tcl_Obj* const objv[]) {
    Tcl_Obj* h = inst->handle;
    Tcl_IncrRefCount(h);
    int rc = call_with_handle(f, interp, h, objc, objv, true);
    Tcl_DecrRefCount(h);
    return rc;
}

}  // namespace

static bool already_listed(const std::string& result, const std::string& word) {
    std::size_t pos = result.find(':');
    while ((pos = result.find(word, pos)) != std::string::npos) {
        bool start = pos > 0 && result[pos - 1] == ' ';
        std::size_t end = pos + word.size();
        if (start && (end == result.size() || result[end] == ' ')) return true;
        pos = end;
    }
    return false;
}

// cget and configure over cls and its bases, and the message for a word
// that is no method (object_cmd has looked it up in reachable already).
static int walk(Tcl_Interp* interp, ClassDesc* cls, Id id, Tcl_Obj* h, const char* m, int objc,
                Tcl_Obj* const objv[]) {
    bool is_cget = std::strcmp(m, "cget") == 0;
    bool is_configure = std::strcmp(m, "configure") == 0;
    int set_count = 0;
    // Depth-first walk: the class, then each base with its own bases first.
    std::vector<ClassDesc*> stack{cls};
    int depth = 0;
    while (!stack.empty() && depth++ < 64) {
        ClassDesc* c = stack.back();
        stack.pop_back();
        if (is_cget) {
            const char* a = Tcl_GetString(objv[2]);
            for (auto& at : c->attrs)
                if (at.name == a && at.get) {
                    Tcl_Obj* args[2] = {objv[0], h};
                    return call_with_handle(at.get, interp, h, 2, args);
                }
            if (std::strcmp(a, "-this") == 0) {
                Tcl_SetObjResult(interp, Tcl_DuplicateObj(h));
                return TCL_OK;
            }
            if (std::strcmp(a, "-thisown") == 0) {
                Tcl_SetObjResult(interp, Tcl_NewStringObj(is_owned(id) ? "1" : "0", 1));
                return TCL_OK;
            }
        } else if (is_configure) {
            for (int i = 2; i + 1 < objc; i += 2) {
                const char* a = Tcl_GetString(objv[i]);
                for (auto& at : c->attrs)
                    if (at.name == a && at.set) {
                        Tcl_Obj* args[3] = {objv[i - 1], h, objv[i + 1]};
                        int rc = call_with_handle(at.set, interp, h, 3, args);
                        if (rc != TCL_OK) return rc;
                        set_count += 2;
                    }
            }
        }
        for (auto b = c->bases.rbegin(); b != c->bases.rend(); ++b) stack.push_back(*b);
    }
    if (is_configure) {
        if (2 + set_count >= objc) return TCL_OK;
        return plain_error(interp, "Invalid attribute name.");
    }
    if (is_cget) return plain_error(interp, "Invalid attribute name.");

    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "Invalid method. Must be one of: configure cget -acquire -disown -delete",
                     nullptr);
    std::vector<ClassDesc*> listed{cls};
    listed.insert(listed.end(), cls->bases.begin(), cls->bases.end());
    for (ClassDesc* c : listed)
        for (auto& [name, f] : c->methods)
            if (!already_listed(Tcl_GetStringResult(interp), name))
                Tcl_AppendElement(interp, name.c_str());
    return TCL_ERROR;
}

int object_cmd(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    auto* inst = static_cast<Instance*>(cd);
    if (objc < 2) return plain_error(interp, "wrong # args.");
    // A word that named a method of this class before: no keyword is ever
    // kept as a method, so the checks below would all have passed.
    if (const CmdImpl* f = cached_method(objv[1], inst->cls))
        return call_method(*f, interp, inst, objc, objv);
    const char* m = Tcl_GetString(objv[1]);
    if (std::strcmp(m, "-acquire") == 0) {
        inst->owns = true;
        acquire(inst->id);
        return TCL_OK;
    }
    if (std::strcmp(m, "-disown") == 0) {
        if (inst->owns) disown(inst->id);
        inst->owns = false;
        return TCL_OK;
    }
    Preserved keep(interp);
    if (std::strcmp(m, "-delete") == 0) {
        Tcl_DeleteCommandFromToken(interp, inst->token);
        return TCL_OK;
    }
    bool is_cget = std::strcmp(m, "cget") == 0;
    bool is_configure = std::strcmp(m, "configure") == 0;
    if (is_cget && objc < 3) return plain_error(interp, "wrong # args.");
    // An attribute name without a value would hand the setter a missing word.
    if (is_configure && (objc < 4 || objc % 2 != 0)) return plain_error(interp, "wrong # args.");
    if (!is_cget && !is_configure)
        if (const CmdImpl* f = find_method(objv[1], inst->cls))
            return call_method(*f, interp, inst, objc, objv);

    // cget, configure or no method. From here on inst may die in any call
    // (see call_method): only h and the class descriptors are used after one.
    Tcl_Obj* h = inst->handle;
    Tcl_IncrRefCount(h);
    int rc = walk(interp, inst->cls, inst->id, h, m, objc, objv);
    Tcl_DecrRefCount(h);
    return rc;
}

}  // namespace qb

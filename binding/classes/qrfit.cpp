// QRfit, the per-pixel polynomial calibration, and bildfloat_polyfit_correct.
//
// The fitting constructor takes its reference images as a Tcl list of
// bild16 handles (or object names) and its reference values as a Tcl list
// of numbers. Both lists are checked by the wrapper rather than by the
// overload dispatch, so that their errors name the parameter types
// 'bild16 *' and 'float *'.
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/fit/qrfit.h"
#include "binding/runtime.h"

namespace {

struct RefImages {
    std::span<const bild16_base* const> images;
};
struct RefValues {
    std::span<const float> values;
};

// Holds a list's elements while they are converted: resolving an object
// name may run a script that changes the list object itself.
struct ListElems {
    std::vector<Tcl_Obj*> objs;
    bool get(Tcl_Obj* list) {
        int n;
        Tcl_Obj** elems;
        if (Tcl_ListObjGetElements(nullptr, list, &n, &elems) != TCL_OK) return false;
        objs.assign(elems, elems + n);
        for (Tcl_Obj* o : objs) Tcl_IncrRefCount(o);
        return true;
    }
    ~ListElems() {
        for (Tcl_Obj* o : objs) Tcl_DecrRefCount(o);
    }
};

}  // namespace

namespace qb {

template <> struct Arg<RefImages> {
    // (a list of handles; the messages have always called it "bild16 *")
    static bool names(std::string_view t) { return t == "bild16 *"; }
    using stored = std::vector<const bild16_base*>;
    static int get(Tcl_Interp* interp, Tcl_Obj* o, stored& s, int flags) {
        if (flags & F_PROBE) return OK;
        ListElems list;
        if (!list.get(o)) return E_TYPE;
        for (Tcl_Obj* e : list.objs) {
            void* p;
            int rc = convert_ptr(interp, e, T_bild16, &p);
            if (rc != OK) return rc;
            if (!p) return E_NULLREF;
            s.push_back(static_cast<const bild16*>(p));
        }
        return OK;
    }
    static RefImages pass(stored& s) { return {s}; }
};

template <> struct Arg<RefValues> {
    static bool names(std::string_view t) { return t == "float *"; }
    using stored = std::vector<float>;
    static int get(Tcl_Interp* interp, Tcl_Obj* o, stored& s, int flags) {
        if (flags & F_PROBE) return OK;
        ListElems list;
        if (!list.get(o)) return E_TYPE;
        s.resize(list.objs.size());
        for (std::size_t k = 0; k < s.size(); ++k)
            if (int rc = get_float(interp, list.objs[k], &s[k]); rc != OK) return rc;
        return OK;
    }
    static RefValues pass(stored& s) { return {s}; }
};

}  // namespace qb

namespace {

QRfit* fit(RefImages r, RefValues w, int nrefimg, int order) {
    return new QRfit(r.images, w.values, nrefimg, order);
}

}  // namespace

std::vector<qb::Entry> qb::tables::QRfit_commands() {
    return {
        qb::over("new_QRfit",
                 {qb::sig("oooo:new_QRfit refbilder refw nrefimg order_",
                          {"bild16 *", "float *", "int", "int"},
                          [](RefImages r, RefValues w, int n, int order) { return fit(r, w, n, order); }),
                  qb::sig("ooo:new_QRfit refbilder refw nrefimg", {"bild16 *", "float *", "int"},
                          [](RefImages r, RefValues w, int n) { return fit(r, w, n, QRfit::default_order); }),
                  qb::sig("o:new_QRfit fname", {"char const *"},
                          [](const char* f) { return new QRfit(f); })}),
        qb::deleter<QRfit>("o:delete_QRfit self", "QRfit *"),
        qb::fn(qb::sig("oo:QRfit_write self fname", {"QRfit const *", "char const *"},
                       qb::mem<&QRfit::write>())),
        // (a file of another order replaces the coefficient array)
        qb::alone(qb::fn(qb::sig("oo:QRfit_read self fname", {"QRfit *", "char const *"},
                                 qb::mem<&QRfit::read>()))),
        qb::fn(qb::sig("oooo:QRfit_apply self y x val", {"QRfit const *", "int", "int", "float"},
                       qb::mem<&QRfit::apply>())),
        qb::fn(qb::sig("oooo:QRfit_get_coeff self x y n", {"QRfit const *", "int", "int", "int"},
                       qb::mem<&QRfit::get_coeff>())),
        qb::klass<QRfit>("QRfit"),
    };
}

std::vector<qb::Entry> qb::tables::bildfloat_polyfit_correct_commands() {
    return {
        qb::listed_at(11, qb::fn(qb::sig("oo:bildfloat_polyfit_correct self korrektor",
                                         {"bildfloat *", "QRfit const &"},
                                         qb::mem<&bildfloat::polyfit_correct>()))),
    };
}


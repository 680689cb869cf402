// Entry points of the two packages: quenz (with the display commands) and
// quenzcore (without Tk).
#include <tk.h>

#include "command_table.h"
#include "runtime/handle.h"
#include "runtime/instances.h"
#include "runtime/tables.h"
#include "runtime/variables.h"
#include "view_connect.h"
#include "watch.h"

namespace qb {
namespace {

// "swig_runtime_data_type_pointer4" names this library's module record.
void setup_type_table(Tcl_Interp* interp) {
    const char* var = "swig_runtime_data_type_pointer4";
    if (Tcl_GetVar(interp, var, TCL_GLOBAL_ONLY)) return;
    std::string h = handle_text(module_id(), T_COMPLEX).substr(1, 8);
    Tcl_SetVar(interp, var, h.c_str(), 0);
}

}  // namespace

// Creates the commands of every section, in order, and the linked
// variables; fails without creating anything if the table is inconsistent.
int register_all(Tcl_Interp* interp, bool with_display) {
    const std::string& mistakes = build_tables();
    if (!mistakes.empty()) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(mistakes.data(), int(mistakes.size())));
        return TCL_ERROR;
    }
    setup_type_table(interp);
    // A destroyed object's commands go with it, in every interpreter of
    // this thread.
    set_destroy_hook(&drop_commands);
    const auto& table = command_table();
    for (std::size_t i = 0; i < table.size(); ++i)
        if (with_display || !sections()[i].display) create_table_commands(interp, table[i]);
    register_variables(interp);
    create_view_connect(interp);
    create_watch_commands(interp);
    return TCL_OK;
}

}  // namespace qb

extern "C" {

int Quenz_Init(Tcl_Interp* interp) {
    if (!interp) return TCL_ERROR;
    if (!Tcl_InitStubs(interp, "8.1", 0)) return TCL_ERROR;
    if (!Tk_InitStubs(interp, "8.4", 0)) return TCL_ERROR;
    if (qb::register_all(interp, true) != TCL_OK) return TCL_ERROR;
    return Tcl_PkgProvide(interp, "quenz", "1.2");
}

int Quenz_SafeInit(Tcl_Interp* interp) { return Quenz_Init(interp); }

// The same library for batch work without a display: everything but the
// display commands, and Tk is never touched.
int Quenzcore_Init(Tcl_Interp* interp) {
    if (!interp) return TCL_ERROR;
    if (!Tcl_InitStubs(interp, "8.1", 0)) return TCL_ERROR;
    if (qb::register_all(interp, false) != TCL_OK) return TCL_ERROR;
    return Tcl_PkgProvide(interp, "quenzcore", "1.2");
}

int Quenzcore_SafeInit(Tcl_Interp* interp) { return Quenzcore_Init(interp); }
}

// A test-only extension: makes objects that no command of quenz makes (a
// region_t from a rule) and reports the registry's live count, through the
// same runtime API a C++ host program would use.
#include <cstring>

#include "binding/runtime.h"

namespace {

region_t* make_region(const char* rule, int y0, int x0, int y1, int x1) {
    auto* r = new region_t;
    bool inside_value = std::strcmp(rule, "except") != 0;
    bool base = std::strcmp(rule, "all") == 0 || std::strcmp(rule, "except") == 0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) r->rows[y][x] = base;
    if (std::strcmp(rule, "all") && std::strcmp(rule, "none")) {
        for (int y = std::max(y0, 0); y <= std::min(y1, 511); ++y)
            for (int x = std::max(x0, 0); x <= std::min(x1, 511); ++x) r->rows[y][x] = inside_value;
    }
    return r;
}

std::vector<qb::Entry>& entries() {
    static std::vector<qb::Entry> e = {
        // quenztest_region all|none|only|except y0 x0 y1 x1 (inclusive box)
        qb::fn(qb::sig("ooooo:quenztest_region rule y0 x0 y1 x1 ",
                       {"char const *", "int", "int", "int", "int"},
                       [](const char* rule, int y0, int x0, int y1, int x1) {
                           return make_region(rule, y0, x0, y1, x1);
                       })),
        qb::deleter<region_t>("o:quenztest_delete_region self", "region_t *"),
        qb::fn(qb::sig(":quenztest_live", {}, [] { return long(qb::live_objects()); })),
    };
    return e;
}

}  // namespace

extern "C" int Quenztest_Init(Tcl_Interp* interp) {
    if (!Tcl_InitStubs(interp, "8.6", 0)) return TCL_ERROR;
    qb::set_destructor(qb::T_region, &qb::destroy_as<region_t>);
    qb::create_commands(interp, entries());
    return Tcl_PkgProvide(interp, "quenztest", "1.2");
}

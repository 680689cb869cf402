// Domains of safe interpreters, kept with the interpreter and numbered
// once per process (never reused, unlike an interpreter's address).
#include "safety.h"

#include <atomic>

namespace qb {
namespace {

std::atomic<Domain> last_domain{0};

void free_domain(ClientData cd, Tcl_Interp*) { delete static_cast<Domain*>(cd); }

}  // namespace

Domain domain_of(Tcl_Interp* interp) {
    if (!interp || !Tcl_IsSafe(interp)) return 0;
    auto* d = static_cast<Domain*>(Tcl_GetAssocData(interp, "quenz-domain", nullptr));
    if (!d) {
        d = new Domain(++last_domain);
        Tcl_SetAssocData(interp, "quenz-domain", free_domain, d);
    }
    return *d;
}

}  // namespace qb

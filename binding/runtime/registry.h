// The process-wide object registry behind the handles: id -> (address,
// registered type, owner), the ownership table, and the one lock over both.
#pragma once
#include <cstdint>
#include <mutex>

#include "types.h"

namespace qb {

using Id = std::uint32_t;

// The id of a live object at addr of type t (or of its family), or 0.
Id find_object(const void* addr, Ty t);
// Registers addr as an object of type t (or returns its existing id).
// owner != 0 makes it an inner pointer that dies with that object.
Id register_object(void* addr, Ty t, Id owner = 0);
// Destroys a registered object with the destructor of its registered type.
void destroy_object(Id id);
// The address of a live id converted to type t, or null.
void* lookup(Id id, Ty t);
// The address of a live id named by a handle of type `named`, as `want`.
// An object whose referenced image is gone can still be deleted, nothing
// else.
void* resolve(Id id, Ty named, Ty want, bool for_delete = false);
std::size_t live_objects();
// How many objects have left the registry through the calling thread. A
// wrapper compares it before and after converting its arguments: naming an
// object by a foreign command runs that command's "cget -this", a script
// that may destroy an object already converted.
std::uint64_t removals();

// Records that `dependent` keeps a reference to `on`. Once `on` is
// destroyed, `dependent` is refused everywhere except by its deleter.
void depends(Id dependent, Id on);

// Ownership table (ids owned by the Tcl side).
void acquire(Id id);
bool disown(Id id);  // true if it was owned
bool is_owned(Id id);

// The module record's id, for "swig_runtime_data_type_pointer4".
Id module_id();

// The process-wide lock over the registry, the ownership table and the
// linked image pointers (the viewer thread runs a second interpreter).
std::mutex& state_mutex();

}  // namespace qb

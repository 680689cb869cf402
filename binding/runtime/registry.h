// The process-wide object registry behind the handles: id -> (address,
// registered type, owner), the ownership table, and the one lock over both.
#pragma once
#include <cstdint>
#include <vector>

#include "state_lock.h"
#include "types.h"

namespace qb {

using Id = std::uint32_t;
// Which interpreters may reach an object: 0 for the trusted ones, else the
// one safe interpreter that made it.
using Domain = std::uint64_t;

// The id of a live object at addr of type t (or of its family), or 0.
Id find_object(const void* addr, Ty t);
// Registers addr as an object of type t (or returns its existing id).
// owner != 0 makes it an inner pointer that dies with that object.
// An inner pointer takes its owner's domain; one whose owner is gone is
// not registered (0).
Id register_object(void* addr, Ty t, Id owner = 0, Domain domain = 0);
bool is_live(Id id);
// Destroys a registered object with the destructor of its registered type:
// at once unreachable, freed now or, when calls still run on it, by the
// last of them (unpin). The destroy hook runs first, outside the lock.
void destroy_object(Id id);
// What the layer above does when an object is destroyed (instances.cpp
// deletes its object commands); set once, before the first object.
using DestroyHook = void (*)(Id);
void set_destroy_hook(DestroyHook hook);
// The address of a live id converted to type t, or null.
void* lookup(Id id, Ty t);
// What one call pinned: each id with its registry record (which stays in
// place while pinned, so unpin needs no lookup). A call converts a few
// objects: they are kept in place, without an allocation per call; more
// go to the heap.
class PinList {
public:
    struct Pin {
        Id id;
        void* record;
        bool alone;  // held alone (see F_ALONE)
    };
    void push_back(Id id, void* record, bool alone = false) {
        if (n_ < kInline)
            inline_[n_++] = {id, record, alone};
        else
            more_.push_back({id, record, alone});
    }
    bool empty() const { return n_ == 0; }
    std::size_t size() const { return n_ + more_.size(); }
    struct iterator {
        const PinList* list;
        std::size_t i;
        const Pin& operator*() const { return i < kInline ? list->inline_[i] : list->more_[i - kInline]; }
        iterator& operator++() {
            ++i;
            return *this;
        }
        bool operator!=(const iterator& o) const { return i != o.i; }
    };
    iterator begin() const { return {this, 0}; }
    iterator end() const { return {this, size()}; }

private:
    static constexpr std::size_t kInline = 8;
    Pin inline_[kInline];
    std::size_t n_ = 0;
    std::vector<Pin> more_;
};

struct Access {
    bool for_delete = false;         // an object whose referenced image is gone may only be deleted
    Domain domain = 0;               // a safe interpreter reaches its own objects only
    PinList* pins = nullptr;         // pin the object for a call, recording what was pinned
    bool alone = false;              // the call must be the only one on the object
    bool* busy = nullptr;            // set when refused because of another call
};
// The address of a live id named by a handle of type `named`, as `want`.
void* resolve(Id id, Ty named, Ty want, const Access& access);
// Releases what resolve pinned; frees objects destroyed meanwhile.
void unpin(const PinList& pins);
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
// The next id to try (a test sets it near 2^32 to check the wrap).
void set_next_id(Id id);

// The process-wide lock over the registry, the ownership table and the
// linked image pointers (the viewer thread runs a second interpreter).
StateLock& state_lock();

}  // namespace qb

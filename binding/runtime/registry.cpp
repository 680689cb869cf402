// The object registry behind the handles, and the ownership table.
// A handle carries an id, never an address: forged or stale handles
// find nothing and are refused.
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "registry.h"
#include "instances.h"

namespace qb {
namespace {

struct Object {
    void* addr;
    Ty type;
    Id owner;
    bool orphaned = false;  // an object it refers to is gone
};

struct AddrKey {
    const void* addr;
    Ty family;
    bool operator==(const AddrKey&) const = default;
};
struct AddrHash {
    std::size_t operator()(const AddrKey& k) const {
        return std::hash<const void*>()(k.addr) ^ (std::size_t(k.family) << 1);
    }
};

struct Registry {
    Id next = 1;
    std::unordered_map<Id, Object> by_id;
    std::unordered_map<AddrKey, Id, AddrHash> by_addr;
    std::unordered_multimap<Id, Id> inner;       // owner -> inner pointers
    std::unordered_multimap<Id, Id> dependents;  // referenced -> referring objects
    std::unordered_set<Id> owned;
    Id module = 0;
};

Registry& reg() {
    static Registry* r = new Registry;  // lives for the whole process
    return *r;
}

// Objects that left the registry through this thread (see removals()).
thread_local std::uint64_t removed_here = 0;

// Removes id and everything that points into it; returns the object.
Object unlink(Registry& r, Id id) {
    auto it = r.by_id.find(id);
    Object o = it->second;
    r.by_id.erase(it);
    ++removed_here;
    r.by_addr.erase(AddrKey{o.addr, type_record(o.type).family});
    r.owned.erase(id);
    auto range = r.inner.equal_range(id);
    std::vector<Id> children;
    for (auto i = range.first; i != range.second; ++i) children.push_back(i->second);
    r.inner.erase(id);
    for (Id c : children)
        if (r.by_id.count(c)) unlink(r, c);
    auto deps = r.dependents.equal_range(id);
    for (auto i = deps.first; i != deps.second; ++i) {
        auto d = r.by_id.find(i->second);
        if (d != r.by_id.end()) d->second.orphaned = true;
    }
    r.dependents.erase(id);
    return o;
}

}  // namespace

std::mutex& state_mutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}

Id module_id() {
    std::lock_guard lock(state_mutex());
    Registry& r = reg();
    if (!r.module) r.module = r.next++;
    return r.module;
}

Id find_object(const void* addr, Ty t) {
    std::lock_guard lock(state_mutex());
    Registry& r = reg();
    auto it = r.by_addr.find(AddrKey{addr, type_record(t).family});
    return it == r.by_addr.end() ? 0 : it->second;
}

Id register_object(void* addr, Ty t, Id owner) {
    std::lock_guard lock(state_mutex());
    Registry& r = reg();
    AddrKey key{addr, type_record(t).family};
    auto it = r.by_addr.find(key);
    if (it != r.by_addr.end()) return it->second;
    if (owner && !r.by_id.count(owner)) owner = 0;
    Id id = r.next++;
    if (r.next == 0) r.next = 1;  // 2^32 objects later; never hand out 0
    r.by_id.emplace(id, Object{addr, t, owner});
    r.by_addr.emplace(key, id);
    if (owner) r.inner.emplace(owner, id);
    return id;
}

void destroy_object(Id id) {
    Object o;
    {
        std::lock_guard lock(state_mutex());
        Registry& r = reg();
        if (!r.by_id.count(id)) return;
        o = unlink(r, id);
    }
    drop_commands(id);
    if (o.owner) return;  // inner pointers are freed with their owner
    if (auto dtor = type_record(o.type).dtor) dtor(o.addr);
}

void* lookup(Id id, Ty t) {
    std::lock_guard lock(state_mutex());
    Registry& r = reg();
    auto it = r.by_id.find(id);
    if (it == r.by_id.end()) return nullptr;
    const Object& o = it->second;
    if (!(type_record(t).accepts >> o.type & 1)) return nullptr;
    return cast_address(o.addr, o.type, t);
}

void depends(Id dependent, Id on) {
    std::lock_guard lock(state_mutex());
    Registry& r = reg();
    auto d = r.by_id.find(dependent);
    if (d == r.by_id.end()) return;
    if (!on || !r.by_id.count(on))
        d->second.orphaned = true;
    else
        r.dependents.emplace(on, dependent);
}

// Resolves id for a handle of type `named`, expected as `want`. An object
// whose referenced image is gone can still be deleted, nothing else.
void* resolve(Id id, Ty named, Ty want, bool for_delete) {
    std::lock_guard lock(state_mutex());
    Registry& r = reg();
    auto it = r.by_id.find(id);
    if (it == r.by_id.end()) return nullptr;
    const Object& o = it->second;
    if (o.orphaned && !for_delete) return nullptr;
    if (!(type_record(named).accepts >> o.type & 1)) return nullptr;
    return cast_address(o.addr, o.type, want);
}

std::uint64_t removals() { return removed_here; }

std::size_t live_objects() {
    std::lock_guard lock(state_mutex());
    return reg().by_id.size();
}

void acquire(Id id) {
    std::lock_guard lock(state_mutex());
    reg().owned.insert(id);
}

bool disown(Id id) {
    std::lock_guard lock(state_mutex());
    return reg().owned.erase(id) > 0;
}

bool is_owned(Id id) {
    std::lock_guard lock(state_mutex());
    return reg().owned.count(id) > 0;
}

}  // namespace qb

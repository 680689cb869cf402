// The object registry behind the handles, and the ownership table.
// A handle carries an id, never an address: forged or stale handles
// find nothing and are refused. Calls pin the objects they use, so an
// object destroyed by another thread meanwhile is freed only when the
// last of them returns.
#include <atomic>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "registry.h"

namespace qb {
namespace {

struct Object {
    void* addr;
    Ty type;
    Id owner;               // an inner pointer's object (its memory holds it)
    Domain domain = 0;      // 0: the trusted interpreters; else one safe interpreter
    bool orphaned = false;  // an object it refers to is gone
    int pins = 0;           // calls running on it
    std::vector<Id> refers; // objects it keeps a reference to
    bool zombie = false;    // destroyed while pinned: in zombies, not by_id
    bool alone = false;     // one call that replaces its storage holds it alone
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
    // Destroyed while a call was running on them: unreachable, freed when
    // the last such call returns. Their addresses stay in by_addr so the
    // memory cannot be registered again as a new object meanwhile. A record
    // moves here node and all, so a call's pins keep pointing at it.
    std::unordered_map<Id, Object> zombies;
    std::unordered_map<AddrKey, Id, AddrHash> by_addr;
    std::unordered_multimap<Id, Id> inner;       // owner -> inner pointers
    std::unordered_multimap<Id, Id> dependents;  // referenced -> referring objects
    std::unordered_set<Id> owned;
    Id module = 0;
    // How many records have left by_id: a record found before stays where
    // it is while this has not changed (the map's nodes never move).
    std::uint64_t removed = 0;
};

Registry& reg() {
    static Registry* r = new Registry;  // lives for the whole process
    return *r;
}

// Objects that left the registry through this thread (see removals()).
[[gnu::tls_model("initial-exec")]] thread_local std::uint64_t removed_here = 0;

// Removes id and everything that points into it; returns the object. A
// pinned object becomes a zombie and keeps its address.
Object unlink(Registry& r, Id id) {
    auto it = r.by_id.find(id);
    Object o = it->second;
    ++removed_here;
    ++r.removed;
    if (o.pins > 0) {
        auto node = r.by_id.extract(it);
        node.mapped().zombie = true;
        r.zombies.insert(std::move(node));
    } else {
        r.by_id.erase(it);
        r.by_addr.erase(AddrKey{o.addr, type_record(o.type).family});
    }
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

// Frees what a destroyed object holds, outside the lock.
void free_object(const Object& o) {
    if (o.owner) return;  // inner pointers are freed with their owner
    if (auto dtor = type_record(o.type).dtor) dtor(o.addr);
}

Object* find_pinnable(Registry& r, Id id) {
    auto it = r.by_id.find(id);
    if (it != r.by_id.end()) return &it->second;
    auto z = r.zombies.find(id);
    return z == r.zombies.end() ? nullptr : &z->second;
}

// Pins the memory behind a live object: its own (or its owner's, for an
// inner pointer) and that of the objects it refers to. False, pinning
// nothing, when one of them is held alone by another call, or when the
// call wants the object alone and another call is using it.
bool pin(Registry& r, Id id, Object& o, PinList* pins, bool alone) {
    Id root = o.owner ? o.owner : id;
    // The object itself through the record already found: no second lookup.
    Object* self = o.owner ? find_pinnable(r, root) : &o;
    if (self && (self->alone || (alone && self->pins > 0))) return false;
    for (Id ref : o.refers)
        if (Object* p = find_pinnable(r, ref); p && p->alone) return false;
    if (self) {
        ++self->pins;
        self->alone = alone;
        pins->push_back(root, self, alone);
    }
    for (Id ref : o.refers)
        if (Object* p = find_pinnable(r, ref)) {
            ++p->pins;
            pins->push_back(ref, p);
        }
    return true;
}

}  // namespace

StateLock& state_lock() {
    static StateLock* m = new StateLock;
    return *m;
}

// Hands out the next id that is neither 0, the module's, nor still in use:
// after 2^32 registrations the counter wraps and must skip live objects.
static Id next_id(Registry& r) {
    for (;;) {
        Id id = r.next++;
        if (id != 0 && id != r.module && !r.by_id.count(id) && !r.zombies.count(id)) return id;
    }
}

Id module_id() {
    std::lock_guard lock(state_lock());
    Registry& r = reg();
    if (!r.module) r.module = next_id(r);
    return r.module;
}

void set_next_id(Id id) {
    std::lock_guard lock(state_lock());
    reg().next = id;
}

Id find_object(const void* addr, Ty t) {
    std::lock_guard lock(state_lock());
    Registry& r = reg();
    auto it = r.by_addr.find(AddrKey{addr, type_record(t).family});
    return it == r.by_addr.end() ? 0 : it->second;
}

Id register_object(void* addr, Ty t, Id owner, Domain domain) {
    std::lock_guard lock(state_lock());
    Registry& r = reg();
    AddrKey key{addr, type_record(t).family};
    auto it = r.by_addr.find(key);
    if (it != r.by_addr.end()) return it->second;
    if (owner) {
        auto o = r.by_id.find(owner);
        // A pointer into an object destroyed meanwhile: nothing to register.
        if (o == r.by_id.end()) return 0;
        domain = o->second.domain;
    }
    Id id = next_id(r);
    r.by_id.emplace(id, Object{addr, t, owner, domain, false, 0, {}});
    r.by_addr.emplace(key, id);
    if (owner) r.inner.emplace(owner, id);
    return id;
}

bool is_live(Id id) {
    std::lock_guard lock(state_lock());
    return reg().by_id.count(id) > 0;
}

namespace {
std::atomic<DestroyHook> destroy_hook{nullptr};
}

void set_destroy_hook(DestroyHook hook) { destroy_hook.store(hook); }

void destroy_object(Id id) {
    Object o;
    {
        std::lock_guard lock(state_lock());
        Registry& r = reg();
        if (!r.by_id.count(id)) return;
        o = unlink(r, id);
    }
    if (DestroyHook hook = destroy_hook.load()) hook(id);
    if (o.pins == 0) free_object(o);
}

void unpin(const PinList& pins) {
    std::vector<Object> freed;
    {
        std::lock_guard lock(state_lock());
        Registry& r = reg();
        // A pinned record stays where it is (in by_id, or moved to zombies
        // node and all) until its pins are gone: no lookup for a live one.
        for (auto [id, rec, alone] : pins) {
            auto* o = static_cast<Object*>(rec);
            if (alone) o->alone = false;
            if (--o->pins > 0 || !o->zombie) continue;
            AddrKey key{o->addr, type_record(o->type).family};
            if (auto a = r.by_addr.find(key); a != r.by_addr.end() && a->second == id)
                r.by_addr.erase(a);
            freed.push_back(*o);
            r.zombies.erase(id);
        }
    }
    for (const Object& o : freed) free_object(o);
}

void* lookup(Id id, Ty t) {
    std::lock_guard lock(state_lock());
    Registry& r = reg();
    auto it = r.by_id.find(id);
    if (it == r.by_id.end()) return nullptr;
    const Object& o = it->second;
    if (!(type_record(t).accepts >> o.type & 1)) return nullptr;
    return cast_address(o.addr, o.type, t);
}

void depends(Id dependent, Id on) {
    std::lock_guard lock(state_lock());
    Registry& r = reg();
    auto d = r.by_id.find(dependent);
    if (d == r.by_id.end()) return;
    if (!on || !r.by_id.count(on)) {
        d->second.orphaned = true;
    } else {
        r.dependents.emplace(on, dependent);
        d->second.refers.push_back(on);
    }
}

namespace {
// The record this thread resolved last: a loop of calls on one object
// finds it again without hashing while no record has left the registry.
struct LastResolved {
    Id id = 0;
    Object* record = nullptr;
    std::uint64_t removed = 0;
};
[[gnu::tls_model("initial-exec")]] thread_local LastResolved last_resolved;
}  // namespace

void* resolve(Id id, Ty named, Ty want, const Access& a) {
    std::lock_guard lock(state_lock());
    Registry& r = reg();
    LastResolved& last = last_resolved;
    if (last.id != id || last.removed != r.removed || !last.record) {
        auto it = r.by_id.find(id);
        if (it == r.by_id.end()) return nullptr;
        last = {id, &it->second, r.removed};
    }
    Object& o = *last.record;
    if (o.orphaned && !a.for_delete) return nullptr;
    if (a.domain && o.domain != a.domain) return nullptr;
    if (!(type_record(named).accepts >> o.type & 1)) return nullptr;
    if (a.pins && !pin(r, id, o, a.pins, a.alone)) {
        if (a.busy) *a.busy = true;
        return nullptr;
    }
    return cast_address(o.addr, o.type, want);
}

std::uint64_t removals() { return removed_here; }

std::size_t live_objects() {
    std::lock_guard lock(state_lock());
    return reg().by_id.size();
}

void acquire(Id id) {
    std::lock_guard lock(state_lock());
    reg().owned.insert(id);
}

bool disown(Id id) {
    std::lock_guard lock(state_lock());
    return reg().owned.erase(id) > 0;
}

bool is_owned(Id id) {
    std::lock_guard lock(state_lock());
    return reg().owned.count(id) > 0;
}

}  // namespace qb

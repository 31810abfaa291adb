#ifndef VEILCAP_PACKETS_RECYCLINGPOOL_H
#define VEILCAP_PACKETS_RECYCLINGPOOL_H

#include <boost/pool/object_pool.hpp>
#include <new>

// A boost::object_pool with constant-time release.
//
// object_pool::destroy keeps the pool's free list sorted by address, so
// each release searches that list: O(free-list length). A chain of 16,000
// VLAN packets released one by one made that quadratic (seconds and
// hundreds of MB for one frame). Released objects are instead destroyed
// and their storage kept on a LIFO list of this class, from which
// construct() takes first, so the most recently released storage is
// reused (and stays in cache); the object_pool only ever grows.
//
// T's default constructor must not allocate anything that its destructor
// does not release (every packet class qualifies): at the end, the kept
// slots are constructed once more so that the object_pool's destructor,
// which destroys every chunk not on its own free list, finds live objects.
template <typename T>
class RecyclingPool {
  public:
    RecyclingPool() : recycled(nullptr) {}
    ~RecyclingPool() {
        while (recycled != nullptr) {
            Slot* slot = recycled;
            recycled = slot->next;
            new (slot) T();
        }
    }
    RecyclingPool(const RecyclingPool&) = delete;
    RecyclingPool& operator=(const RecyclingPool&) = delete;

    // A default-constructed object, or null when no storage is left.
    T* construct() {
        if (recycled == nullptr) {
            return pool.construct();
        }
        Slot* slot = recycled;
        recycled = slot->next;
        try {
            return new (slot) T();
        } catch (...) {
            slot->next = recycled;
            recycled = slot;
            throw;
        }
    }

    // Destroys the object (from this pool) and keeps its storage.
    void destroy(T* object) {
        object->~T();
        Slot* slot = reinterpret_cast<Slot*>(object);
        slot->next = recycled;
        recycled = slot;
    }

  private:
    // The storage of a released object, linked into the recycled list.
    struct Slot {
        Slot* next;
    };
    static_assert(sizeof(T) >= sizeof(Slot), "a slot must fit in the storage of an object");

    boost::object_pool<T> pool;
    Slot* recycled;
};

#endif

// Portable KERNEL32: the set of live objects behind one kind of handle.
//
// A handle is the address of an object of ours. Keeping the live ones in a set
// lets a call refuse a handle that is not one (freed, forged, of another kind)
// without reading the memory it points at.
#pragma once

#include <unordered_set>

namespace portable {

template <typename Object>
class LiveHandles {
public:
    void add(const Object* object) { live_.insert(object); }
    void remove(const Object* object) { live_.erase(object); }
    // The object behind `handle`, or nullptr when it is not a live one.
    Object* find(const void* handle) const {
        if (handle == nullptr || live_.count(handle) == 0) return nullptr;
        return static_cast<Object*>(const_cast<void*>(handle));
    }

private:
    std::unordered_set<const void*> live_;
};

}  // namespace portable

// The reference count of every COM-style object of the platform layer: the DirectDraw objects, the
// streaming objects and the targets video samples decode into.
#pragma once

#include <cstdint>

namespace platform {

// For an object that implements no interface of its own, only AddRef and Release.
struct NoInterface {
protected:
    ~NoInterface() = default;
};

// Base is what the object derives from: the interface whose AddRef and Release this implements (it
// overrides them when the interface declares them virtual), or NoInterface. An object starts with one
// reference for its maker; the last Release deletes it, unless lastReferenceGone says that the
// object's life is not its own to end (an owner that is closing destroys what it made itself).
// A Release with no reference left does nothing and returns 0.
template<typename Base>
class RefCounted : public Base {
public:
    uint32_t AddRef() { return ++references_; }
    uint32_t Release()
    {
        if (references_ == 0)
            return 0;
        const uint32_t left = --references_;
        if (left == 0 && lastReferenceGone())
            delete this;
        return left;
    }

protected:
    RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;
    virtual ~RefCounted() = default;
    // Called once the count reaches 0, before the object is deleted; false keeps it (its owner
    // deletes it later).
    virtual bool lastReferenceGone() { return true; }

private:
    uint32_t references_ = 1;
};

}

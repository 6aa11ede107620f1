// What every streaming object shares: reference counting and the hand-out of an interface pointer.
#pragma once

#include "platform/mmstream/mmstream.h"

#include <cstdint>

namespace platform {

inline constexpr GUID iidUnknown {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Interface is the most derived interface of the object.
template<typename Interface>
class RefCounted : public Interface {
public:
    uint32_t AddRef() override { return ++references_; }
    uint32_t Release() override
    {
        uint32_t left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~RefCounted() = default;

private:
    uint32_t references_ = 1;
};

// Gives the caller object with a reference of its own.
template<typename T>
HRESULT handOut(T* object, void** out)
{
    object->AddRef();
    *out = object;
    return S_OK;
}

}

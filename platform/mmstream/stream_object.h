// What every streaming object shares: reference counting (RefCounted) and the hand-out of an interface
// pointer.
#pragma once

#include "platform/mmstream/mmstream.h"
#include "platform/ref_counted.h"

#include <cstdint>

namespace platform {

inline constexpr GUID iidUnknown {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Gives the caller object with a reference of its own.
template<typename T>
HRESULT handOut(T* object, void** out)
{
    object->AddRef();
    *out = object;
    return S_OK;
}

}

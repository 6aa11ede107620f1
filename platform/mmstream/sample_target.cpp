#include "platform/mmstream/sample_target.h"

#include <new>

namespace platform {

namespace {

class MemorySampleTarget final : public RefCounted<SampleTarget> {
public:
    MemorySampleTarget(int width, int height, PixelFormat format)
        : pixels_(width, height, format)
    {
    }

    Surface& samplePixels() override { return pixels_; }
    uint32_t sampleAddRef() override { return AddRef(); }
    uint32_t sampleRelease() override { return Release(); }
    IDirectDrawSurface* directDrawSurface() override { return nullptr; }

private:
    ~MemorySampleTarget() override = default;

    Surface pixels_;
};

}

MemorySampleTargetFactory* MemorySampleTargetFactory::create(PixelFormat format)
{
    return new (std::nothrow) MemorySampleTargetFactory(format);
}

SampleTarget* MemorySampleTargetFactory::createSampleTarget(int width, int height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    try {
        return new MemorySampleTarget(width, height, format_);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

uint32_t MemorySampleTargetFactory::factoryAddRef()
{
    return AddRef();
}

uint32_t MemorySampleTargetFactory::factoryRelease()
{
    return Release();
}

}

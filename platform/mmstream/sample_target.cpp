#include "platform/mmstream/sample_target.h"

#include <new>

namespace platform {

namespace {

class MemorySampleTarget final : public SampleTarget {
public:
    MemorySampleTarget(int width, int height, PixelFormat format)
        : pixels_(width, height, format)
    {
    }

    Surface& samplePixels() override { return pixels_; }
    uint32_t sampleAddRef() override { return ++references_; }
    uint32_t sampleRelease() override
    {
        uint32_t left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    IDirectDrawSurface* directDrawSurface() override { return nullptr; }

private:
    ~MemorySampleTarget() = default;

    Surface pixels_;
    uint32_t references_ = 1;
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
    return ++references_;
}

uint32_t MemorySampleTargetFactory::factoryRelease()
{
    uint32_t left = --references_;
    if (left == 0)
        delete this;
    return left;
}

}

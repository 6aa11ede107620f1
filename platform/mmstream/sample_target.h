// The seam between the video sample and DirectDraw. A video sample decodes into a SampleTarget: a
// surface in the display's pixel format. The DirectDraw stand-in implements both classes here:
//   - its IDirectDraw object derives from SampleTargetFactory, so it can be handed to
//     IAMMultiMediaStream::AddMediaStream for the primary video, and makes the sample's surfaces;
//   - its IDirectDrawSurface derives from SampleTarget, so a sample can write into it and
//     IDirectDrawStreamSample::GetSurface can hand it back (directDrawSurface() turns it into the
//     surface again without a cast).
// Both count references on the same counter as their own AddRef/Release (RefCounted).
// Without a DirectDraw object (AddMediaStream with none) the stream uses MemorySampleTargetFactory.
#pragma once

#include "platform/ref_counted.h"
#include "platform/surface.h"

#include <cstdint>
#include <memory>

class IDirectDrawSurface;

namespace platform {

// A delivered picture that is not converted yet. A target may keep it and convert it only where it is
// shown, so that a picture copied unchanged to another surface is converted once, straight there.
class PendingPicture {
public:
    virtual ~PendingPicture() = default;
    // Converts the picture into the width × height rectangle of target at (x, y). Into a whole
    // surface this always works (scaled to its size); into a part of one only where the result is
    // exactly what the whole-surface conversion would give there. False when not done.
    virtual bool convertInto(PixelView target, int x, int y, int width, int height) = 0;
};

class SampleTarget {
public:
    // The pixels the sample writes into; their size and format are fixed for the target's life.
    virtual Surface& samplePixels() = 0;
    // Takes a delivered picture; it stands for the target's pixels from now on. By default it is
    // converted into them at once.
    virtual void samplePicture(std::unique_ptr<PendingPicture> picture)
    {
        Surface& pixels = samplePixels();
        picture->convertInto(pixels, 0, 0, pixels.width, pixels.height);
    }
    virtual uint32_t sampleAddRef() = 0;
    virtual uint32_t sampleRelease() = 0;
    // The DirectDraw surface this target is, or nullptr for a target that is not one.
    virtual IDirectDrawSurface* directDrawSurface() = 0;

protected:
    ~SampleTarget() = default;
};

class SampleTargetFactory {
public:
    // A new target of width × height in the display's pixel format, holding one reference for the
    // caller; nullptr when it cannot be made.
    virtual SampleTarget* createSampleTarget(int width, int height) = 0;
    virtual uint32_t factoryAddRef() = 0;
    virtual uint32_t factoryRelease() = 0;

protected:
    ~SampleTargetFactory() = default;
};

// Targets in plain memory, in a chosen pixel format.
class MemorySampleTargetFactory final : public RefCounted<SampleTargetFactory> {
public:
    // Starts with one reference for the caller.
    static MemorySampleTargetFactory* create(PixelFormat format);

    SampleTarget* createSampleTarget(int width, int height) override;
    uint32_t factoryAddRef() override;
    uint32_t factoryRelease() override;

private:
    explicit MemorySampleTargetFactory(PixelFormat format)
        : format_(format)
    {
    }
    ~MemorySampleTargetFactory() override = default;

    PixelFormat format_;
};

}

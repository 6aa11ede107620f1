// The pixels of captions drawn as authored: libass's layers flattened into one premultiplied picture,
// and that picture blended onto a surface. Used by the renderer's worker and blend (authored_captions.cpp).
#pragma once

#include "platform/authored_captions.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

extern "C" {
#include <ass/ass.h>
}

namespace platform::authored {

// Hands out memory for values a vector grows by without setting them: a rendering's pixels are all written
// right after, and setting them first would cost a pass over a few megabytes a frame.
template<typename T> struct Uninitialised : std::allocator<T> {
    template<typename U> struct rebind {
        using other = Uninitialised<U>;
    };
    Uninitialised() = default;
    template<typename U> Uninitialised(const Uninitialised<U>&) noexcept { }
    template<typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template<typename U, typename... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// One run of a rendering's pixels on one row, in frame coordinates, and where its pixels start.
struct Run {
    int x;
    int y;
    int length;
    size_t offset;
};

// The captions of one moment flattened: every layer libass gave composed in order into one picture of
// premultiplied colour with coverage (alpha << 24 | red << 16 | green << 8 | blue, each 0 to 255), kept
// only where something shows. Blending it onto a picture is then one pass over those pixels.
struct Rendering {
    int width = 0;
    int height = 0;
    int pictureWidth = 0;
    int pictureHeight = 0;
    std::vector<Run> runs;
    std::vector<uint32_t, Uninitialised<uint32_t>> pixels;

    bool sameFrame(const PictureFrame& f) const
    {
        return width == f.width && height == f.height && pictureWidth == f.pictureWidth && pictureHeight == f.pictureHeight;
    }
};

// The part of a canvas row the layers reached: from, up to to (canvas columns).
struct Span {
    int from;
    int to;
};

// The composed picture of one rendering over its bounding box, one plane per channel: coverage and the
// premultiplied red, green and blue. The worker keeps one and reuses its memory from frame to frame; between
// renderings every byte of the planes is 0, since a rendering clears what it drew, so only the pixels the
// layers reach are ever composed, kept or cleared. rows holds, per canvas row, the spans the layers reached
// (in order, apart by at least the gap a run of the rendering spans).
struct Canvas {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> a, r, g, b;
    std::vector<std::vector<Span>> rows;
};

// Composes libass's layers (each an alpha mask in one colour, in drawing order) over the frame, then keeps
// the runs of pixels they reached (pixels without coverage within a run blend as nothing). Layers are clipped to the frame; nothing outside it is touched.
// reused, when given, is a rendering no one shows any more, whose memory the new one takes over.
std::shared_ptr<Rendering> flatten(const ASS_Image* images, const PictureFrame& frame, Canvas& c,
    std::shared_ptr<Rendering> reused = nullptr);
// Blends a rendering onto target with its frame's top-left at (left, top), clipped to the target.
void blendRendering(PixelView target, const Rendering& shown, int64_t left, int64_t top);

}

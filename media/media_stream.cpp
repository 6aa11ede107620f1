#include "media/media_stream.h"

#include "app/debug_log.h"

namespace sublumen {

// FIXME: the multimedia streaming service is not connected yet; every stream fails to create at its
// first step and answers as a stream that does not exist.
MediaStream::MediaStream(Display*, const char*)
{
    lastResult = 1;
}

MediaStream::~MediaStream() = default;

void MediaStream::release() { }

int MediaStream::getState() { return -1; }

int MediaStream::setRun(int) { return -1; }

uint32_t MediaStream::currentTime() { return static_cast<uint32_t>(-1); }

int MediaStream::seek(uint32_t) { return -1; }

int MediaStream::update() { return -1; }

int MediaStream::blitFrame(DisplaySurface*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
    int32_t)
{
    return -1;
}

}

// The work of a decoder thread, the same for pictures and sound: take the next packet from its queue,
// start over after a seek, feed the decoder and pass on every frame it gives. What a frame becomes is
// the video or audio decoder's part.
#pragma once

#include "platform/mmstream/ffmpeg_support.h"
#include "platform/mmstream/stream_state.h"

#include <cstddef>
#include <cstdint>

namespace platform {

class DecoderLoop {
public:
    // What the loop logs when a packet or a frame of this kind is lost ("video packet", "video frame").
    struct Names {
        const char* packet;
        const char* frame;
    };

    // The loop takes from queue, wakes the demuxer once queue is down to refillLevel, and sets ended
    // (a flag in shared) when the end of the input has come out of the decoder.
    DecoderLoop(SharedState& shared, PacketQueue& queue, std::size_t refillLevel, bool& ended, CodecContextHandle codec,
        const AVStream& stream, Names names);
    virtual ~DecoderLoop() = default;
    DecoderLoop(const DecoderLoop&) = delete;
    DecoderLoop& operator=(const DecoderLoop&) = delete;

    // The thread's body; returns when the engine quits.
    void run();

protected:
    // The first packet of a new position has come: the decoder has been flushed. Lock not held.
    virtual void restart(MediaTime target) = 0;
    // Whether a packet of the current position is left out rather than decoded. Lock held.
    virtual bool dropPacket(const AVPacket&) { return false; }
    // Just before each packet goes into the decoder.
    virtual void beforePacket(const AVPacket* /*packet*/) { }
    // A decoded frame; it is unreferenced when this returns.
    virtual void take(AVFrame& frame) = 0;
    // The end of the input has come out of the decoder, before the end is marked. Lock not held.
    virtual void finish() { }
    // Lock held: takes over a change of input the engine posted (another stream); true when it did, and
    // then applyChange runs without the lock before the next packet is taken.
    virtual bool takeChange() { return false; }
    virtual void applyChange() { }
    // Lock held: whether the input being decoded is still the one wanted (its end then counts).
    virtual bool inputCurrent() const { return true; }
    // A packet or a frame was lost to a decoding error. Lock not held.
    virtual void decodeFailed() { }

    SharedState& shared_;
    CodecContextHandle codec_;
    const AVStream& stream_;
    uint64_t generation_ = 0;  // of the packets being decoded

private:
    void feed(const AVPacket* packet);
    void receiveAll();

    PacketQueue& queue_;
    const std::size_t refillLevel_;
    bool& ended_;
    const Names names_;
    FrameHandle frame_;
    int loggedErrors_ = 0;
};

}

// The video decoder thread's part: pictures with their presentation times, the one shown at a seek's
// target found, pictures left out while the decoder is behind the clock (decoder_skip.h); each goes
// into the shared picture queue.
#pragma once

#include "platform/mmstream/decoder_loop.h"
#include "platform/mmstream/decoder_skip.h"
#include "platform/mmstream/deinterlacer.h"
#include "platform/mmstream/tv_captions.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace platform {

class VideoDecoder final : public DecoderLoop {
public:
    // frameInterval: the length of a picture without a duration of its own (0 when unknown).
    VideoDecoder(SharedState& shared, CodecContextHandle codec, const AVStream& stream, MediaTime startOffset,
        MediaTime frameInterval, bool untimed);

private:
    void restart(MediaTime target) override;
    bool dropPacket(const AVPacket& packet) override;
    void beforePacket(const AVPacket* packet) override;
    void take(AVFrame& frame) override;
    void finish() override;

    void emit(DecodedFrame decoded);
    // Reads the TV caption data of a coded picture. Every picture's is read, those the decoder skips or
    // drops when it is behind included, so no caption is lost to skipping.
    void readTvCaptions(const AVPacket& packet);
    // Queues the captions decided of the streams selected, and the streams found.
    void queueTvCaptions();
    // How far before a seek's target every picture is decoded: two pictures, and at least a quarter second.
    MediaTime decodedBeforeTarget() const
    {
        return std::max<MediaTime>(2 * frameInterval_, std::chrono::milliseconds(250));
    }
    struct Lateness {
        MediaTime lateness;  // how long after its start the picture came out
        MediaTime showCost;  // what showing it will cost the caller
    };
    // Queues a decoded picture; how late it came out, when the clock runs and the queue had room.
    std::optional<Lateness> push(DecodedFrame decoded);

    const MediaTime startOffset_;
    const MediaTime frameInterval_;
    const bool untimed_;
    // Owned by the decoder thread.
    bool seeking_ = true;  // until the first frame at or after the target has been passed on
    MediaTime target_ {0};
    std::optional<DecodedFrame> held_;
    MediaTime nextStart_ {0};
    // The start of the picture decoded before the next one; none after a seek and while pictures are
    // skipped, when the one before is not known for sure.
    std::optional<MediaTime> lastStart_;
    DecoderSkipRule skip_;
    bool resumeAtKeyframe_ = false;  // the decoder starts over at the packet about to be decoded
    Deinterlacer deinterlacer_;
    const std::optional<VideoCoding> tvCoding_;  // none: a video that carries no TV captions we read
    TvCaptions tvCaptions_;
    // The caption data of pictures dropped (read under the lock), taken over before the next packet.
    struct DroppedCaptions {
        std::vector<uint8_t> triplets;
        std::optional<MediaTime> start;
        MediaTime length;
    };
    std::vector<DroppedCaptions> droppedCaptions_;
    uint64_t tvCaptionChanges_ = 0;   // the selection changes taken over
    std::vector<int> lastTvSelection_;
};

}

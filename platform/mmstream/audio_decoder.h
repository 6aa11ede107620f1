// The audio decoder thread's part: sound resampled to the device's format and placed at its time;
// each chunk goes into the shared sound queue, which the device's callback drains.
#pragma once

#include "platform/mmstream/audio_resampler.h"
#include "platform/mmstream/decoder_loop.h"

namespace platform {

class AudioDecoder final : public DecoderLoop {
public:
    // outRate and outChannels: the device's format.
    AudioDecoder(SharedState& shared, CodecContextHandle codec, const AVStream& stream, MediaTime startOffset,
        int outRate, int outChannels);

private:
    void restart(MediaTime target) override;
    void take(AVFrame& frame) override;

    void push(AudioChunk chunk);

    const MediaTime startOffset_;
    const int outRate_;
    const int outChannels_;
    // Owned by the decoder thread.
    AudioResampler resampler_;
    MediaTime target_ {0};
    MediaTime expected_ {0};  // where the next chunk follows on without a gap
};

}

// The audio decoder thread's part: sound resampled to the device's format and placed at its time;
// each chunk goes into the shared sound queue, which the device's callback drains.
#pragma once

#include "platform/mmstream/audio_resampler.h"
#include "platform/mmstream/decoder_loop.h"

namespace platform {

// Lock held: makes the sound of another audio stream follow on at a moment just ahead of what the device
// has been handed (at once while stopped): the packets and sound of the old stream from there on are
// dropped, the decoder takes the switch over and the demuxer reads the new stream again from that moment.
// Returns the moment. rate and channels: the device's.
MediaTime postAudioSwitch(SharedState& shared, AudioSwitch change, int rate, int channels);

class AudioDecoder final : public DecoderLoop {
public:
    // outRate and outChannels: the device's format.
    AudioDecoder(SharedState& shared, CodecContextHandle codec, const AVStream& stream, int index,
        MediaTime startOffset, int outRate, int outChannels);

private:
    void restart(MediaTime target) override;
    void take(AVFrame& frame) override;
    bool takeChange() override;
    void applyChange() override;
    bool inputCurrent() const override;
    void decodeFailed() override;

    void push(AudioChunk chunk);

    const MediaTime startOffset_;
    const int outRate_;
    const int outChannels_;
    // Owned by the decoder thread.
    AudioResampler resampler_;
    MediaTime target_ {0};
    MediaTime expected_ {0};  // where the next chunk follows on without a gap
    // The stream decoded now (the loop's own stream_ is the first one).
    const AVStream* stream_ = nullptr;
    int index_ = -1;
    uint64_t switches_ = 0;  // SharedState::audioSwitches when the stream was taken over
    AudioSwitch change_;     // taken under the lock, applied without it
    // The stream played before a switch, kept until the new one has given sound, so that one whose
    // packets cannot be decoded gives way to it again.
    AudioSwitch previous_;
    int trialErrors_ = 0;
};

}

// The audio decoder thread's part: sound resampled to the device's format and placed at its time;
// each chunk goes into the shared sound queue, which the device's callback drains.
#pragma once

#include "platform/mmstream/audio_resampler.h"
#include "platform/mmstream/audio_tempo.h"
#include "platform/mmstream/decoder_loop.h"

#include <deque>

namespace platform {

// Lock held: makes the sound of another audio stream follow on at a moment just ahead of what the device
// has been handed (at once while stopped): the packets and sound of the old stream from there on are
// dropped, the decoder takes the switch over and the demuxer reads the new stream again from that moment.
// Returns the moment. rate and channels: the device's.
MediaTime postAudioSwitch(SharedState& shared, AudioSwitch change, int rate, int channels);

// Lock held: makes the sound play at speed from a moment just ahead of what the device has been handed (at
// once while stopped): the sound queued beyond it is dropped and the decoder makes it again at the new speed.
void postTempoChange(SharedState& shared, double speed, int rate, int channels);
// Lock held: the same for a new sound mode.
void postSoundModeChange(SharedState& shared, SoundMode mode, int rate, int channels);

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
    void finish() override;

    void push(AudioChunk chunk);
    // Sound at its own speed in layout, frames of it starting at start, on its way to the queue at the
    // speed played, mixed by the sound mode.
    void play(MediaTime start, const SoundLayout& layout, const int16_t* samples, int64_t frames);
    // The end of the input: what the speed filter still holds goes to the queue.
    void playRest();
    // A change of speed or sound mode: the sound from shared_.tempoCut on is made again from what was kept
    // of it.
    void replayAtNewSpeed();

    const MediaTime startOffset_;
    const int outRate_;
    const int outChannels_;
    // Owned by the decoder thread.
    AudioResampler resampler_;
    AudioTempo tempo_;
    double speed_ = 1.0;
    SoundMode mode_ = SoundMode::Normal;
    uint64_t tempoChanges_ = 0;  // SharedState::tempoChanges when speed_ was taken
    bool tempoChange_ = false;   // taken under the lock, applied without it
    MediaTime tempoCut_ {0};
    // What the filter is fed since it last started: from where, how many frames it gave back, and where
    // its input ends (sound not following on from there starts it over).
    bool tempoRunning_ = false;
    SoundLayout tempoLayout_;
    MediaTime tempoFrom_ {0};
    int64_t tempoOut_ = 0;
    MediaTime tempoInputEnd_ {0};
    // Sound made again after a change of speed is fed from a little before the cut, so that the filter has
    // faded in by then; what it gives back for before the cut is left out.
    MediaTime tempoSkipBefore_ {0};
    bool inputEnded_ = false;  // the decoder gave its last sound for this position
    // The latest sound at its own speed and in the movie's channels, as long as the queue can hold at the
    // fastest speed, so that a change of speed or mode can make again what was queued before it.
    struct KeptSound {
        MediaTime start {0};
        SoundLayout layout;
        std::vector<int16_t> samples;
    };
    std::deque<KeptSound> kept_;
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

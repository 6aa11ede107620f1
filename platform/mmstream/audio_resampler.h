// Decoded sound into 16-bit interleaved samples at the device's rate with libswresample, its context kept
// while the input's rate, format and channel layout stay. The channels stay the movie's when they are
// not the device's (up to eight), so that the sound filter can mix them for dialogue (audio_tempo.h);
// other layouts become the device's.
#pragma once

#include "platform/mmstream/ffmpeg_support.h"
#include "platform/mmstream/sound_mode.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

class AudioResampler {
public:
    AudioResampler(int outRate, int outChannels);
    ~AudioResampler();
    AudioResampler(const AudioResampler&) = delete;
    AudioResampler& operator=(const AudioResampler&) = delete;

    // Converts frame into samples (replacing what it held) of layout(); a frame without a channel layout
    // is taken to have the default layout of channels. The number of frames produced, 0 when none could be.
    int convert(const AVFrame& frame, int channels, std::vector<int16_t>& samples);
    // The channels of what convert gave last.
    const SoundLayout& layout() const { return outLayout_; }
    // Drops the samples buffered for the position left behind by a seek.
    void restart();

private:
    bool prepare(const AVFrame& frame, int channels);

    struct ResamplerDeleter {
        void operator()(SwrContext* s) const { swr_free(&s); }
    };
    std::unique_ptr<SwrContext, ResamplerDeleter> resampler_;
    AVChannelLayout inLayout_ {};
    int inRate_ = 0;
    int inFormat_ = -1;
    const int outRate_;
    const int outChannels_;
    SoundLayout outLayout_;
};

}

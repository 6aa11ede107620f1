// Decoded sound into the device's format (16-bit interleaved at its rate and channel count) with
// libswresample, its context kept while the input's rate, format and channel layout stay.
#pragma once

#include "platform/mmstream/ffmpeg_support.h"

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

    // Converts frame into samples (replacing what it held); a frame without a channel layout is taken
    // to have the default layout of channels. The number of frames produced, 0 when none could be.
    int convert(const AVFrame& frame, int channels, std::vector<int16_t>& samples);
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
};

}

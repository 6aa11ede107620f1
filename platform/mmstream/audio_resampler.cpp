#include "platform/mmstream/audio_resampler.h"

#include <algorithm>

namespace platform {

namespace {

// The most channels the sound filter takes as they are: 7.1.
constexpr int mostChannelsKept = 8;

}

AudioResampler::AudioResampler(int outRate, int outChannels)
    : outRate_(outRate)
    , outChannels_(outChannels)
    , outLayout_ { outChannels, 0 }
{
}

AudioResampler::~AudioResampler()
{
    av_channel_layout_uninit(&inLayout_);
}

bool AudioResampler::prepare(const AVFrame& in, int channels)
{
    AVChannelLayout layout {};
    if (in.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || in.ch_layout.nb_channels == 0)
        av_channel_layout_default(&layout, in.ch_layout.nb_channels > 0 ? in.ch_layout.nb_channels : channels);
    else
        av_channel_layout_copy(&layout, &in.ch_layout);
    bool same = resampler_ && inRate_ == in.sample_rate && inFormat_ == in.format
        && av_channel_layout_compare(&layout, &inLayout_) == 0;
    if (same) {
        av_channel_layout_uninit(&layout);
        return true;
    }
    AVChannelLayout outLayout {};
    const bool kept = layout.nb_channels != outChannels_ && layout.nb_channels <= mostChannelsKept
        && (layout.order == AV_CHANNEL_ORDER_NATIVE || layout.nb_channels <= 2);
    if (kept)
        av_channel_layout_copy(&outLayout, &layout);
    else
        av_channel_layout_default(&outLayout, outChannels_);
    SwrContext* raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_S16, outRate_, &layout,
        static_cast<AVSampleFormat>(in.format), in.sample_rate, 0, nullptr);
    resampler_.reset(raw);
    const SoundLayout converted { outLayout.nb_channels,
        outLayout.order == AV_CHANNEL_ORDER_NATIVE ? outLayout.u.mask : 0 };
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || swr_init(resampler_.get()) < 0) {
        resampler_.reset();
        av_channel_layout_uninit(&layout);
        return false;
    }
    av_channel_layout_uninit(&inLayout_);
    inLayout_ = layout;
    outLayout_ = converted;
    inRate_ = in.sample_rate;
    inFormat_ = in.format;
    return true;
}

int AudioResampler::convert(const AVFrame& frame, int channels, std::vector<int16_t>& samples)
{
    if (frame.sample_rate <= 0 || !prepare(frame, channels))
        return 0;
    const int outChannels = outLayout_.channels;
    int capacity = swr_get_out_samples(resampler_.get(), frame.nb_samples);
    samples.resize(static_cast<std::size_t>(std::max(capacity, 0)) * outChannels);
    uint8_t* out = reinterpret_cast<uint8_t*>(samples.data());
    int produced = swr_convert(resampler_.get(), &out, capacity, const_cast<const uint8_t**>(frame.extended_data),
        frame.nb_samples);
    if (produced <= 0)
        return 0;
    samples.resize(static_cast<std::size_t>(produced) * outChannels);
    return produced;
}

void AudioResampler::restart()
{
    if (resampler_)
        swr_init(resampler_.get());
}

}

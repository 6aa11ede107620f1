#include "platform/mmstream/audio_tempo.h"

#include "platform/kernel.h"
#include "platform/mmstream/ffmpeg_support.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace platform {

AudioTempo::AudioTempo(int rate, int channels)
    : rate_(rate)
    , channels_(channels)
{
}

AudioTempo::~AudioTempo()
{
    close();
}

void AudioTempo::close()
{
    avfilter_graph_free(&graph_);
    source_ = nullptr;
    sink_ = nullptr;
    av_frame_free(&frame_);
}

bool AudioTempo::start(double speed)
{
    close();
    speed_ = speed;
    fed_ = 0;
    if (speed == 1.0)
        return true;
    AVChannelLayout layout {};
    av_channel_layout_default(&layout, channels_);
    char layoutName[64] = "";
    av_channel_layout_describe(&layout, layoutName, sizeof layoutName);
    av_channel_layout_uninit(&layout);
    char sourceArgs[160];
    std::snprintf(sourceArgs, sizeof sourceArgs, "sample_rate=%d:sample_fmt=s16:channel_layout=%s:time_base=1/%d", rate_,
        layoutName, rate_);
    char tempoArgs[32];
    std::snprintf(tempoArgs, sizeof tempoArgs, "tempo=%.3f", speed);

    graph_ = avfilter_graph_alloc();
    frame_ = av_frame_alloc();
    AVFilterContext* tempo = nullptr;
    int rc = graph_ && frame_ ? 0 : AVERROR(ENOMEM);
    if (rc >= 0)
        rc = avfilter_graph_create_filter(&source_, avfilter_get_by_name("abuffer"), "in", sourceArgs, nullptr, graph_);
    if (rc >= 0)
        rc = avfilter_graph_create_filter(&tempo, avfilter_get_by_name("atempo"), "tempo", tempoArgs, nullptr, graph_);
    if (rc >= 0)
        rc = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr, graph_);
    if (rc >= 0)
        rc = avfilter_link(source_, 0, tempo, 0);
    if (rc >= 0)
        rc = avfilter_link(tempo, 0, sink_, 0);
    if (rc >= 0)
        rc = avfilter_graph_config(graph_, nullptr);
    if (rc >= 0)
        return true;
    if (!failureLogged_)
        platformLog("mmstream: the sound cannot change speed (%s); it plays at its own\n", errorText(rc).c_str());
    failureLogged_ = true;
    close();
    return false;
}

int AudioTempo::process(const int16_t* samples, int frames, std::vector<int16_t>& out)
{
    if (frames <= 0)
        return 0;
    if (!graph_) {
        out.insert(out.end(), samples, samples + static_cast<std::ptrdiff_t>(frames) * channels_);
        return frames;
    }
    AVFrame* in = av_frame_alloc();
    if (!in)
        return 0;
    in->format = AV_SAMPLE_FMT_S16;
    in->sample_rate = rate_;
    av_channel_layout_default(&in->ch_layout, channels_);
    in->nb_samples = frames;
    in->pts = fed_;
    int rc = av_frame_get_buffer(in, 0);
    if (rc >= 0) {
        std::memcpy(in->data[0], samples, static_cast<std::size_t>(frames) * channels_ * sizeof(int16_t));
        fed_ += frames;
        rc = av_buffersrc_add_frame_flags(source_, in, 0);
    }
    av_frame_free(&in);
    if (rc < 0)
        return 0;
    return drain(out);
}

int AudioTempo::finish(std::vector<int16_t>& out)
{
    if (!graph_)
        return 0;
    if (av_buffersrc_add_frame_flags(source_, nullptr, 0) < 0)
        return 0;
    int frames = drain(out);
    start(speed_);
    return frames;
}

int AudioTempo::drain(std::vector<int16_t>& out)
{
    int frames = 0;
    while (av_buffersink_get_frame(sink_, frame_) >= 0) {
        // The filter keeps the format it was given; anything else is not ours to play.
        if (frame_->format == AV_SAMPLE_FMT_S16 && frame_->ch_layout.nb_channels == channels_) {
            const auto* data = reinterpret_cast<const int16_t*>(frame_->data[0]);
            out.insert(out.end(), data, data + static_cast<std::ptrdiff_t>(frame_->nb_samples) * channels_);
            frames += frame_->nb_samples;
        }
        av_frame_unref(frame_);
    }
    return frames;
}

}

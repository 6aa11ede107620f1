#include "platform/mmstream/audio_tempo.h"

#include "platform/kernel.h"
#include "platform/mmstream/ffmpeg_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace platform {

namespace {

// atempo gives back its first window's worth of sound faded in around the start of its input.
constexpr AudioTempo::Duration tempoLead = std::chrono::milliseconds(10);

// The clear dialogue mix, tuned on a 5.1 film mix (tools/bench/sound_modes): the centre, where the
// dialogue sits, at twice the level of the front sides and nearly three times the surrounds; the low
// frequency channel left out as in the usual downmix. Each output's gains are normalised to a sum of 1,
// so nothing clips.
constexpr double centreGain = 1.41;
constexpr double frontGain = 0.71;
constexpr double surroundGain = 0.5;
// A stereo track's centre is found by what its two sides have in common (per frequency), raised while it
// sounds like speech, and raised only in the voices' band: below 200 Hz it is mostly the rumble of effects
// and music that both sides share, which stays at the level of the sides (they still carry all of it).
// Tuned on the stereo mix of the same film: the speech stands 7.8 dB higher against the rest than in the
// normal mix (4 dB with the whole band raised): the speech 2.5 dB louder, the rest 5 dB quieter, no peak
// higher.
constexpr const char* stereoCentre
    = "dialoguenhance=original=1:enhance=1:voice=8,highpass=f=200:c=FC,highpass=f=200:c=FC";

// dialoguenhance gives its input back later by its transform's size less the overlap of its windows,
// which it chooses by the rate.
int stereoCentreDelay(int rate)
{
    const int size = rate > 100000 ? 8192 : rate > 50000 ? 4096 : 2048;
    return size - size / 4;
}
// A mono track has no centre to find: the voices' band is brought forward over the hum and rumble below it
// (the bass 12 dB down, the voices' presence 4 dB up), lowered by as much as the most it raises, so that it
// cannot clip. On the mono mix of the film the speech stands 5.7 dB higher against the rest.
constexpr const char* monoSpeech
    = "bass=g=-12:f=300:w=0.7,equalizer=f=2000:t=q:w=0.7:g=4,volume=-4dB";
// The night: everything above a quiet speaking level (-38 dBFS, the level the clear mixes above bring
// speech to) is pressed towards it (8:1) and the whole made up again by 14 dB, which halves the loudness
// range of a film mix in each of them without clipping its peaks.
constexpr const char* nightCompression = "acompressor=threshold=0.0125:ratio=8:attack=10:release=500:makeup=5";

enum class Place { Centre, Left, Right, Both, Bass };

// Where a channel goes in a two-channel mix, and whether it is a front one.
Place placeOf(AVChannel c, bool& front)
{
    front = false;
    switch (c) {
    case AV_CHAN_FRONT_CENTER:
        return Place::Centre;
    case AV_CHAN_LOW_FREQUENCY:
    case AV_CHAN_LOW_FREQUENCY_2:
        return Place::Bass;
    case AV_CHAN_FRONT_LEFT:
    case AV_CHAN_FRONT_LEFT_OF_CENTER:
    case AV_CHAN_WIDE_LEFT:
        front = true;
        return Place::Left;
    case AV_CHAN_FRONT_RIGHT:
    case AV_CHAN_FRONT_RIGHT_OF_CENTER:
    case AV_CHAN_WIDE_RIGHT:
        front = true;
        return Place::Right;
    case AV_CHAN_BACK_LEFT:
    case AV_CHAN_SIDE_LEFT:
    case AV_CHAN_TOP_FRONT_LEFT:
    case AV_CHAN_TOP_BACK_LEFT:
    case AV_CHAN_TOP_SIDE_LEFT:
    case AV_CHAN_SURROUND_DIRECT_LEFT:
    case AV_CHAN_BOTTOM_FRONT_LEFT:
        return Place::Left;
    case AV_CHAN_BACK_RIGHT:
    case AV_CHAN_SIDE_RIGHT:
    case AV_CHAN_TOP_FRONT_RIGHT:
    case AV_CHAN_TOP_BACK_RIGHT:
    case AV_CHAN_TOP_SIDE_RIGHT:
    case AV_CHAN_SURROUND_DIRECT_RIGHT:
    case AV_CHAN_BOTTOM_FRONT_RIGHT:
        return Place::Right;
    default:
        return Place::Both;
    }
}

struct Layout {
    explicit Layout(const SoundLayout& l)
    {
        if (l.mask == 0 || av_channel_layout_from_mask(&layout, l.mask) < 0
            || layout.nb_channels != l.channels)
            av_channel_layout_default(&layout, l.channels);
    }
    ~Layout() { av_channel_layout_uninit(&layout); }
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    std::string name() const
    {
        char text[64] = "";
        av_channel_layout_describe(&layout, text, sizeof text);
        return text;
    }
    bool has(AVChannel c) const { return av_channel_layout_index_from_channel(&layout, c) >= 0; }

    AVChannelLayout layout {};
};

// A pan from in to the device's channels with the centre raised over the others.
std::string centreRaised(const AVChannelLayout& in, int outChannels)
{
    std::string left, right;
    auto add = [](std::string& to, double gain, int channel) {
        char term[32];
        std::snprintf(term, sizeof term, "%s%.3f*c%d", to.empty() ? "" : "+", gain, channel);
        to += term;
    };
    for (int i = 0; i < in.nb_channels; ++i) {
        bool front = false;
        const Place place = placeOf(av_channel_layout_channel_from_index(&in, i), front);
        const double side = front ? frontGain : surroundGain;
        switch (place) {
        case Place::Centre:
            add(left, centreGain, i);
            add(right, centreGain, i);
            break;
        case Place::Left:
            add(left, side, i);
            break;
        case Place::Right:
            add(right, side, i);
            break;
        case Place::Both:
            add(left, surroundGain * 0.707, i);
            add(right, surroundGain * 0.707, i);
            break;
        case Place::Bass:
            break;
        }
    }
    if (left.empty() || right.empty())
        return "";
    if (outChannels == 1)
        return "pan=mono|c0<" + left + "+" + right;
    return "pan=stereo|c0<" + left + "|c1<" + right;
}

// The filters of mode for sound of layout in, up to the device's channels (or nothing, when the end of the
// graph is to bring it there), and how many frames later they give it back.
std::string modeChain(SoundMode mode, const AVChannelLayout& in, int outChannels, int rate, int& delay)
{
    delay = 0;
    if (mode == SoundMode::Normal)
        return "";
    std::string chain;
    const bool centre = av_channel_layout_index_from_channel(&in, AV_CHAN_FRONT_CENTER) >= 0 && in.nb_channels >= 3;
    if (centre) {
        chain = centreRaised(in, outChannels);
    } else if (in.nb_channels == 1) {
        chain = monoSpeech;
    } else {
        // Any other layout is brought to stereo first, whose centre is then found.
        AVChannelLayout surround = AV_CHANNEL_LAYOUT_SURROUND;
        chain = (in.nb_channels != 2 ? std::string("aformat=channel_layouts=stereo,") : std::string()) + stereoCentre
            + "," + centreRaised(surround, outChannels);
        delay = stereoCentreDelay(rate);
    }
    if (mode == SoundMode::Night)
        chain += std::string(chain.empty() ? "" : ",") + nightCompression;
    return chain;
}

const char* modeName(SoundMode mode)
{
    switch (mode) {
    case SoundMode::ClearDialogue:
        return "clear dialogue";
    case SoundMode::Night:
        return "night";
    case SoundMode::Normal:
        break;
    }
    return "normal sound";
}

}

AudioTempo::AudioTempo(int rate, int channels)
    : rate_(rate)
    , channels_(channels)
    , input_ { channels, 0 }
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

bool AudioTempo::needed(double speed, SoundMode mode, const SoundLayout& input) const
{
    return speed != 1.0 || mode != SoundMode::Normal || input.channels != channels_;
}

AudioTempo::Duration AudioTempo::lead() const
{
    return graph_ && applied_.speed != 1.0 ? tempoLead : Duration(0);
}

bool AudioTempo::start(double speed, SoundMode mode, const SoundLayout& input)
{
    close();
    input_ = input;
    fed_ = 0;
    const Applied wanted { speed, mode };
    applied_ = {};
    if (!needed(speed, mode, input))
        return true;
    if (build(wanted)) {
        applied_ = wanted;
        return true;
    }
    // As near as can be: the speed without the mix, then the device's channels alone.
    const bool atSpeed = mode != SoundMode::Normal && build({ speed, SoundMode::Normal });
    if (atSpeed)
        applied_ = { speed, SoundMode::Normal };
    else if (input.channels == channels_ || !build({}))
        close();
    if (!failureLogged_)
        platformLog("mmstream: the sound cannot play at %.1fx with %s; it plays %s\n", speed, modeName(mode),
            atSpeed ? "with the usual mix" : "as it is");
    failureLogged_ = true;
    return false;
}

bool AudioTempo::build(const Applied& wanted)
{
    close();
    const Layout in(input_);
    AVChannelLayout deviceLayout {};
    av_channel_layout_default(&deviceLayout, channels_);
    char deviceName[64] = "";
    av_channel_layout_describe(&deviceLayout, deviceName, sizeof deviceName);
    av_channel_layout_uninit(&deviceLayout);

    char sourceArgs[192];
    std::snprintf(sourceArgs, sizeof sourceArgs, "sample_rate=%d:sample_fmt=s16:channel_layout=%s:time_base=1/%d", rate_,
        in.name().c_str(), rate_);
    int delay = 0;
    std::string chain = modeChain(wanted.mode, in.layout, channels_, rate_, delay);
    // What comes out before the delayed input does is left out, so the sound stays in step.
    skipOut_ = static_cast<int64_t>(std::lround(delay / wanted.speed));
    if (wanted.speed != 1.0) {
        char tempo[32];
        std::snprintf(tempo, sizeof tempo, "atempo=tempo=%.3f", wanted.speed);
        chain += std::string(chain.empty() ? "" : ",") + tempo;
    }
    chain += std::string(chain.empty() ? "" : ",") + "aformat=sample_fmts=s16:channel_layouts=" + deviceName;

    graph_ = avfilter_graph_alloc();
    frame_ = av_frame_alloc();
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    int rc = graph_ && frame_ && outputs && inputs ? 0 : AVERROR(ENOMEM);
    if (rc >= 0) {
        // Filters run on the decoder's thread, as the rest of its work does.
        graph_->nb_threads = 1;
        rc = avfilter_graph_create_filter(&source_, avfilter_get_by_name("abuffer"), "in", sourceArgs, nullptr, graph_);
    }
    if (rc >= 0)
        rc = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr, graph_);
    if (rc >= 0) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = source_;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink_;
        rc = avfilter_graph_parse_ptr(graph_, chain.c_str(), &inputs, &outputs, nullptr);
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (rc >= 0)
        rc = avfilter_graph_config(graph_, nullptr);
    if (rc >= 0)
        return true;
    if (!failureLogged_)
        platformLog("mmstream: sound filter \"%s\" for %s: %s\n", chain.c_str(), in.name().c_str(), errorText(rc).c_str());
    close();
    return false;
}

int AudioTempo::process(const int16_t* samples, int frames, std::vector<int16_t>& out)
{
    if (frames <= 0)
        return 0;
    if (!graph_) {
        if (input_.channels != channels_)
            return mixDown(samples, frames, out);
        out.insert(out.end(), samples, samples + static_cast<std::ptrdiff_t>(frames) * channels_);
        return frames;
    }
    AVFrame* in = av_frame_alloc();
    if (!in)
        return 0;
    in->format = AV_SAMPLE_FMT_S16;
    in->sample_rate = rate_;
    {
        const Layout layout(input_);
        av_channel_layout_copy(&in->ch_layout, &layout.layout);
    }
    in->nb_samples = frames;
    in->pts = fed_;
    int rc = av_frame_get_buffer(in, 0);
    if (rc >= 0) {
        std::memcpy(in->data[0], samples, static_cast<std::size_t>(frames) * input_.channels * sizeof(int16_t));
        fed_ += frames;
        rc = av_buffersrc_add_frame_flags(source_, in, 0);
    }
    av_frame_free(&in);
    if (rc < 0)
        return 0;
    return drain(out);
}

int AudioTempo::mixDown(const int16_t* samples, int frames, std::vector<int16_t>& out) const
{
    const int inChannels = std::max(input_.channels, 1);
    for (int f = 0; f < frames; ++f) {
        int32_t sum = 0;
        for (int c = 0; c < inChannels; ++c)
            sum += samples[static_cast<std::ptrdiff_t>(f) * inChannels + c];
        const auto value = static_cast<int16_t>(sum / inChannels);
        for (int c = 0; c < channels_; ++c)
            out.push_back(value);
    }
    return frames;
}

int AudioTempo::finish(std::vector<int16_t>& out)
{
    if (!graph_)
        return 0;
    if (av_buffersrc_add_frame_flags(source_, nullptr, 0) < 0)
        return 0;
    int frames = drain(out);
    start(applied_.speed, applied_.mode, input_);
    return frames;
}

int AudioTempo::drain(std::vector<int16_t>& out)
{
    int frames = 0;
    while (av_buffersink_get_frame(sink_, frame_) >= 0) {
        // The graph ends in the device's format; anything else is not ours to play.
        if (frame_->format == AV_SAMPLE_FMT_S16 && frame_->ch_layout.nb_channels == channels_) {
            const int skipped = static_cast<int>(std::min<int64_t>(skipOut_, frame_->nb_samples));
            skipOut_ -= skipped;
            const auto* data = reinterpret_cast<const int16_t*>(frame_->data[0]) + static_cast<std::ptrdiff_t>(skipped) * channels_;
            out.insert(out.end(), data, data + static_cast<std::ptrdiff_t>(frame_->nb_samples - skipped) * channels_);
            frames += frame_->nb_samples - skipped;
        }
        av_frame_unref(frame_);
    }
    return frames;
}

}

// The sound on its way to the device through libavfilter: played faster or slower with its pitch kept
// (atempo), mixed for clear dialogue or the night (sound_mode.h), and brought to the device's channels.
// It takes 16-bit interleaved samples at the device's rate in the movie's own channel layout and gives
// them in the device's format. One per audio decoder thread.
#pragma once

#include "platform/mmstream/sound_mode.h"

#include <chrono>
#include <cstdint>
#include <ratio>
#include <memory>
#include <vector>

struct AVFilterGraph;
struct AVFilterContext;
struct AVFrame;

namespace platform {

class AudioTempo {
public:
    using Duration = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;

    // rate and channels: the device's.
    AudioTempo(int rate, int channels);
    ~AudioTempo();
    AudioTempo(const AudioTempo&) = delete;
    AudioTempo& operator=(const AudioTempo&) = delete;

    // Whether sound of layout needs the filter at speed and mode; without it, it is the device's already.
    bool needed(double speed, SoundMode mode, const SoundLayout& input) const;
    // Starts over for sound of layout input at speed, mixed by mode, dropping what the filter still held.
    // False, logged once, when the filter cannot be made as asked: the sound then plays as near to it as
    // can be (the normal mix, its own speed), still in the device's format.
    bool start(double speed, SoundMode mode, const SoundLayout& input);
    // The same for sound already in the device's layout, mixed as it is.
    bool start(double speed) { return start(speed, SoundMode::Normal, SoundLayout { channels_, 0 }); }
    // The speed and mode the sound comes out at (the normal ones when the filter could not be made).
    double speed() const { return applied_.speed; }
    SoundMode mode() const { return applied_.mode; }
    // Whether sound goes through the filter.
    bool active() const { return graph_ != nullptr; }
    // What the filter gives back plays its input spread evenly over it, this far (input time) ahead:
    // output frame n carries input frame n × speed + lead.
    Duration lead() const;
    // Feeds frames of the input layout and appends to out what the filter gives back in the device's;
    // returns the number of frames appended.
    int process(const int16_t* samples, int frames, std::vector<int16_t>& out);
    // The end of the sound: appends what the filter still held. The filter then has to start over.
    int finish(std::vector<int16_t>& out);

private:
    struct Applied {
        double speed = 1.0;
        SoundMode mode = SoundMode::Normal;
    };
    bool build(const Applied& wanted);
    int drain(std::vector<int16_t>& out);
    // Without any filter: the input's channels averaged into the device's.
    int mixDown(const int16_t* samples, int frames, std::vector<int16_t>& out) const;
    void close();

    const int rate_;
    const int channels_;
    SoundLayout input_;
    Applied applied_;
    AVFilterGraph* graph_ = nullptr;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    AVFrame* frame_ = nullptr;
    int64_t fed_ = 0;  // frames fed since the start, the next frame's time stamp
    int64_t skipOut_ = 0;  // frames still to be left out of what comes out: the mix's own delay
    bool failureLogged_ = false;
};

}

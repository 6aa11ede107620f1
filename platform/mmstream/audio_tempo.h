// Sound played faster or slower with its pitch kept (libavfilter's atempo), in the device's format:
// 16-bit interleaved samples at the device's rate and channel count. One per audio decoder thread.
#pragma once

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
    // What the filter gives back plays its input spread evenly over it, this far (input time) ahead:
    // output frame n carries input frame n × speed + lead.
    static constexpr std::chrono::duration<int64_t, std::ratio<1, 10'000'000>> lead = std::chrono::milliseconds(10);

    AudioTempo(int rate, int channels);
    ~AudioTempo();
    AudioTempo(const AudioTempo&) = delete;
    AudioTempo& operator=(const AudioTempo&) = delete;

    // Starts over at speed, dropping what the filter still held. At 1 the sound passes unchanged. False,
    // logged once, when the filter cannot be made: the sound then passes unchanged.
    bool start(double speed);
    double speed() const { return speed_; }
    // Whether sound goes through the filter (speed not 1 and the filter made).
    bool active() const { return graph_ != nullptr; }
    // Feeds frames × channels samples and appends to out what the filter gives back; returns the number of
    // frames appended.
    int process(const int16_t* samples, int frames, std::vector<int16_t>& out);
    // The end of the sound: appends what the filter still held. The filter then has to start over.
    int finish(std::vector<int16_t>& out);

private:
    int drain(std::vector<int16_t>& out);
    void close();

    const int rate_;
    const int channels_;
    double speed_ = 1.0;
    AVFilterGraph* graph_ = nullptr;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    AVFrame* frame_ = nullptr;
    int64_t fed_ = 0;  // frames fed since the start, the next frame's time stamp
    bool failureLogged_ = false;
};

}

// Interlaced pictures made whole on the fly with libavfilter's bwdif, one picture per field, so a
// recording of 1080i at 29.97 frames a second plays at 59.94 pictures a second. Only pictures the
// decoder marks interlaced set it up: progressive movies never reach the filter.
#pragma once

#include "platform/mmstream/ffmpeg_support.h"

#include <vector>

struct AVFilterGraph;
struct AVFilterContext;

namespace platform {

class Deinterlacer {
public:
    struct Picture {
        FrameHandle frame;
        MediaTime start {0};
        MediaTime end {0};
    };

    Deinterlacer() = default;
    ~Deinterlacer();
    Deinterlacer(const Deinterlacer&) = delete;
    Deinterlacer& operator=(const Deinterlacer&) = delete;

    // Whether frame goes through the filter: it is interlaced, or an interlaced one came before it.
    bool wants(const AVFrame& frame) const { return active_ || frame.interlaced_frame; }
    // Takes one decoded picture shown from start to end and appends the pictures the filter gives,
    // each lasting a field. The filter looks one picture ahead, so its pictures come one picture late.
    // False, logged once, when the filter cannot be had: the caller then shows the picture as it is.
    bool push(const AVFrame& frame, MediaTime start, MediaTime end, std::vector<Picture>& out);
    // The end of the input: the pictures the filter still holds.
    void finish(std::vector<Picture>& out);
    // A seek: what the filter holds is dropped; the next picture sets it up afresh.
    void reset();
    bool active() const { return active_; }

private:
    bool setUp(const AVFrame& frame);
    void drain(std::vector<Picture>& out);

    AVFilterGraph* graph_ = nullptr;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    bool active_ = false;   // an interlaced picture has been seen since the movie opened
    bool failed_ = false;
    // The input's format, time base and the field length, which a new format sets up the filter again for.
    int width_ = 0;
    int height_ = 0;
    int format_ = -1;
    MediaTime fieldLength_ {0};
    // Input pictures count in MediaTime ticks; the filter's come in its own time base.
    AVRational sinkBase_ {1, 1};
};

}

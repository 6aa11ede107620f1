#include "platform/mmstream/deinterlacer.h"

#include "platform/kernel.h"

#include <cstdio>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/cpu.h>
}

namespace platform {

Deinterlacer::~Deinterlacer()
{
    avfilter_graph_free(&graph_);
}

void Deinterlacer::reset()
{
    avfilter_graph_free(&graph_);
    source_ = nullptr;
    sink_ = nullptr;
}

bool Deinterlacer::setUp(const AVFrame& frame)
{
    reset();
    width_ = frame.width;
    height_ = frame.height;
    format_ = frame.format;
    char sourceArgs[200];
    // Times go in as MediaTime ticks, so nothing is lost converting them.
    std::snprintf(sourceArgs, sizeof sourceArgs, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
        frame.width, frame.height, frame.format, mediaTimeBase.num, mediaTimeBase.den,
        frame.sample_aspect_ratio.num > 0 ? frame.sample_aspect_ratio.num : 1,
        frame.sample_aspect_ratio.den > 0 ? frame.sample_aspect_ratio.den : 1);
    graph_ = avfilter_graph_alloc();
    AVFilterContext* bwdif = nullptr;
    int rc = graph_ ? 0 : AVERROR(ENOMEM);
    if (rc >= 0) {
        // The filter splits each picture into slices over the cores.
        graph_->nb_threads = av_cpu_count();
        rc = avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", sourceArgs, nullptr, graph_);
    }
    // A picture per field; pictures not marked interlaced pass as they are.
    if (rc >= 0)
        rc = avfilter_graph_create_filter(&bwdif, avfilter_get_by_name("bwdif"), "bwdif",
            "mode=send_field:parity=auto:deint=interlaced", nullptr, graph_);
    if (rc >= 0)
        rc = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph_);
    if (rc >= 0)
        rc = avfilter_link(source_, 0, bwdif, 0);
    if (rc >= 0)
        rc = avfilter_link(bwdif, 0, sink_, 0);
    if (rc >= 0)
        rc = avfilter_graph_config(graph_, nullptr);
    if (rc >= 0) {
        sinkBase_ = av_buffersink_get_time_base(sink_);
        return true;
    }
    if (!failed_)
        platformLog("mmstream: interlaced pictures cannot be deinterlaced (%s); shown as they are\n", errorText(rc).c_str());
    failed_ = true;
    reset();
    return false;
}

bool Deinterlacer::push(const AVFrame& frame, MediaTime start, MediaTime end, std::vector<Picture>& out)
{
    if (failed_)
        return false;
    if (!active_)
        platformLog("mmstream: interlaced pictures: deinterlaced at the field rate (bwdif)\n");
    active_ = true;
    if (!graph_ || frame.width != width_ || frame.height != height_ || frame.format != format_) {
        // What the old filter holds would come out in the wrong size; it is given up.
        if (!setUp(frame))
            return false;
    }
    fieldLength_ = (end - start) / 2;
    FrameHandle in(av_frame_clone(&frame));
    if (!in)
        return false;
    in->pts = start.count();
    if (av_buffersrc_add_frame_flags(source_, in.get(), AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
        return false;
    drain(out);
    return true;
}

void Deinterlacer::finish(std::vector<Picture>& out)
{
    if (!graph_)
        return;
    if (av_buffersrc_add_frame_flags(source_, nullptr, 0) >= 0)
        drain(out);
    reset();
}

void Deinterlacer::drain(std::vector<Picture>& out)
{
    for (;;) {
        FrameHandle frame(av_frame_alloc());
        if (!frame || av_buffersink_get_frame(sink_, frame.get()) < 0)
            return;
        Picture picture;
        picture.start = toMediaTime(frame->pts, sinkBase_);
        // A progressive picture passed through lasts until the next one, which the handout goes by.
        picture.end = picture.start + fieldLength_;
        picture.frame = std::move(frame);
        out.push_back(std::move(picture));
    }
}

}

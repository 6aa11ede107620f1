// Frame hand-out on the caller's thread: the next picture that is due, late ones skipped, converted
// into the caller's surface or handed over unconverted.
#include "platform/mmstream/ffmpeg_backend.h"

#include "platform/frame_trace.h"
#include "platform/mmstream/decoder_skip.h"

#include <algorithm>

namespace platform {

FrameDelivery FfmpegBackend::deliverFrame(Surface& target, std::chrono::milliseconds timeout)
{
    if (!video_)
        return blackFrame(timeout);
    FrameHandle frame;
    FrameDelivery delivery = takeFrame(timeout, frame);
    if (delivery.outcome == FrameOutcome::Delivered)
        converter_->convert(*frame, target, 0, 0, target.width, target.height);
    return delivery;
}

FrameDelivery FfmpegBackend::deliverPicture(SampleTarget& target, std::chrono::milliseconds timeout)
{
    if (!video_)
        return blackFrame(timeout);
    FrameHandle frame;
    FrameDelivery delivery = takeFrame(timeout, frame);
    if (delivery.outcome == FrameOutcome::Delivered)
        target.samplePicture(std::make_unique<FfmpegPicture>(std::move(frame), converter_));
    return delivery;
}

FrameDelivery FfmpegBackend::takeFrame(std::chrono::milliseconds timeout, FrameHandle& frame)
{
    keepSoundDevice();
    SharedState& s = shared_;
    const auto deadline = SteadyClock::now() + timeout;
    showCost_.back(SteadyClock::now());
    std::unique_lock lock(s.mutex);
    // What showing costs in real time, in movie time at the speed played.
    s.showCost = s.clock.elapsed(std::chrono::duration_cast<SteadyClock::duration>(showCost_.cost()));
    for (;;) {
        const auto now = SteadyClock::now();
        if (!video_)
            return {FrameOutcome::EndOfStream};
        // The caller is back after the first picture of the position was delivered: it has been shown,
        // and the clock starts from here.
        if (s.pictureHold)
            releasePictureHold(now, s.positionShown || (s.videoEnded && s.frames.empty()));
        const MediaTime t = s.clock.at(now);
        if (!untimed_) {
            // Frames whose successor is already due are late: skip them. The decoder is to blame when
            // the picture came out only after its successor was due, otherwise the caller came too late.
            while (s.frames.size() >= 2 && s.frames[1].start <= t) {
                const DecodedFrame& late = s.frames.front();
                traceFrameEvent('S', std::chrono::duration_cast<std::chrono::milliseconds>(late.start).count(),
                    late.queuedAt >= s.frames[1].start ? "decoder" : "caller");
                s.frames.pop_front();
                s.video.wake.notify_all();
            }
            // One that would be shown too far behind the sound is not shown at all: the picture stands
            // until one comes in time, while the decoder skips to catch up.
            while (!s.frames.empty() && s.positionShown && s.clock.ticking
                && t - s.frames.front().start
                    > handOutLateLimit(s.frames.front().end - s.frames.front().start, s.showCost)) {
                traceFrameEvent('S', std::chrono::duration_cast<std::chrono::milliseconds>(s.frames.front().start).count(),
                    "late");
                s.frames.pop_front();
                s.video.wake.notify_all();
            }
        }
        if (!s.frames.empty()) {
            DecodedFrame& next = s.frames.front();
            // The first picture after an open or a seek is shown at once, even when the position lies
            // before it, so that a stopped stream shows where it stands.
            if (untimed_ || next.start <= t || !s.positionShown) {
                DecodedFrame shown = std::move(next);
                s.frames.pop_front();
                s.lastDelivered = shown.start;
                s.positionShown = true;
                s.shownPreviousStart = shown.previousStart;
                if (s.stepClockGuessed && !s.running && !s.clock.ticking && shown.start > s.clock.anchorPos) {
                    s.clock.set(shown.start, now);
                    s.audioBase = shown.start;
                }
                s.stepClockGuessed = false;
                s.video.wake.notify_all();
                if (s.running)
                    showCost_.delivered(now);
                lock.unlock();
                frame = std::move(shown.frame);
                traceFrameDelivery(std::chrono::duration_cast<std::chrono::milliseconds>(shown.start).count(),
                    std::chrono::duration_cast<std::chrono::milliseconds>(t).count());
                return {FrameOutcome::Delivered, shown.start, shown.end};
            }
            if (now >= deadline)
                return {FrameOutcome::NotDue};
            auto wakeAt = deadline;
            if (s.clock.ticking) {
                auto due = now + std::max(s.clock.realTime(next.start - t), SteadyClock::duration(std::chrono::milliseconds(1)));
                wakeAt = std::min(wakeAt, due);
            }
            s.frameWake.wait_until(lock, wakeAt);
            continue;
        }
        if (s.videoEnded) {
            bool soundDone = !audio_ || (s.audioEnded && s.audioChunks.empty());
            if (untimed_ || (soundDone && t >= s.lastFrameEnd)) {
                if (s.fileEnd)
                    s.knownEnd = s.fileEnd;
                return {FrameOutcome::EndOfStream};
            }
            if (now >= deadline)
                return {FrameOutcome::NotDue};
            // The last picture stays until its time is over and the sound has played out (the audio
            // thread signals that).
            auto wakeAt = deadline;
            if (s.clock.ticking && t < s.lastFrameEnd)
                wakeAt = std::min(wakeAt,
                    now + std::max(s.clock.realTime(s.lastFrameEnd - t), SteadyClock::duration(std::chrono::milliseconds(1))));
            s.frameWake.wait_until(lock, wakeAt);
            continue;
        }
        if (now >= deadline) {
            // A stopped stream whose picture is shown is not behind: nothing more is due.
            return {s.positionShown && !s.running ? FrameOutcome::NotDue : FrameOutcome::DecoderBehind};
        }
        s.frameWake.wait_until(lock, deadline);
    }
}

}

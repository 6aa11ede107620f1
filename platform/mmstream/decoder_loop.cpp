#include "platform/mmstream/decoder_loop.h"

#include "platform/kernel.h"

#include <utility>

namespace platform {

DecoderLoop::DecoderLoop(SharedState& shared, PacketQueue& queue, std::size_t refillLevel, bool& ended,
    CodecContextHandle codec, const AVStream& stream, Names names)
    : shared_(shared)
    , codec_(std::move(codec))
    , stream_(stream)
    , queue_(queue)
    , refillLevel_(refillLevel)
    , ended_(ended)
    , names_(names)
{
}

void DecoderLoop::run()
{
    frame_.reset(av_frame_alloc());
    if (!frame_)
        return;
    for (;;) {
        QueuedPacket item;
        bool refill = false;
        bool drop = false;
        {
            std::unique_lock lock(shared_.mutex);
            bool changed = false;
            queue_.wake.wait(lock, [&] { return shared_.quit || (changed = takeChange()) || !queue_.packets.empty(); });
            if (shared_.quit)
                return;
            if (changed) {
                lock.unlock();
                applyChange();
                continue;
            }
            item = std::move(queue_.packets.front());
            queue_.packets.pop_front();
            if (item.packet)
                shared_.queuedPacketBytes -= queuedSize(*item.packet);
            refill = queue_.packets.size() <= refillLevel_;
            if (item.generation != generation_) {
                generation_ = item.generation;
                MediaTime target = shared_.seekTarget;
                lock.unlock();
                avcodec_flush_buffers(codec_.get());
                restart(target);
            } else if (item.packet) {
                drop = dropPacket(*item.packet);
            }
        }
        if (refill)
            shared_.demuxWake.notify_all();
        if (drop)
            continue;

        beforePacket(item.packet.get());
        feed(item.packet.get());
        receiveAll();
        if (!item.packet) {
            finish();
            std::lock_guard lock(shared_.mutex);
            if (generation_ == shared_.generation && inputCurrent())
                ended_ = true;
            shared_.frameWake.notify_all();
        }
    }
}

// A null packet tells the decoder that the input is over.
void DecoderLoop::feed(const AVPacket* packet)
{
    for (;;) {
        int rc = avcodec_send_packet(codec_.get(), packet);
        switch (avStatus(rc)) {
        case AvStatus::NeedsInput:
            // Full: it takes the packet once its frames have been taken.
            receiveAll();
            continue;
        case AvStatus::Error:
            if (loggedErrors_++ < 3)
                platformLog("mmstream: %s skipped (%s)\n", names_.packet, errorText(rc).c_str());
            decodeFailed();
            return;
        case AvStatus::Ok:
        case AvStatus::End:
            return;
        }
    }
}

void DecoderLoop::receiveAll()
{
    for (;;) {
        int rc = avcodec_receive_frame(codec_.get(), frame_.get());
        switch (avStatus(rc)) {
        case AvStatus::NeedsInput:
        case AvStatus::End:
            return;
        case AvStatus::Error:
            if (loggedErrors_++ < 3)
                platformLog("mmstream: %s lost (%s)\n", names_.frame, errorText(rc).c_str());
            decodeFailed();
            return;
        case AvStatus::Ok:
            take(*frame_);
            av_frame_unref(frame_.get());
            break;
        }
    }
}

}

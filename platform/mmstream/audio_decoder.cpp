#include "platform/mmstream/audio_decoder.h"

#include "platform/kernel.h"

#include <algorithm>
#include <utility>

namespace platform {

namespace {

// A switch is heard this far ahead of the sound already handed to the device: time for the demuxer to
// read the new stream again and for its decoder to give its first sound.
constexpr MediaTime switchLead = std::chrono::milliseconds(150);
// Packets a newly chosen stream may fail on before it gives any sound and the old one comes back.
constexpr int trialErrorLimit = 3;

}

MediaTime postAudioSwitch(SharedState& s, AudioSwitch change, int rate, int channels)
{
    MediaTime handedOut = s.audioBase + MediaTime(s.audioFramesOut * 10'000'000 / rate);
    MediaTime target = s.running ? std::max(handedOut, s.clock.at(SteadyClock::now())) + switchLead : handedOut;
    change.target = target;
    s.audioIndex = change.index;
    s.audioSwitch = std::move(change);
    ++s.audioSwitches;
    for (QueuedPacket& queued : s.audio.packets)
        if (queued.packet)
            s.queuedPacketBytes -= queuedSize(*queued.packet);
    s.audio.packets.clear();
    // The old sound plays up to the target and not beyond. queuedAudio counts each chunk whole.
    while (!s.audioChunks.empty()) {
        AudioChunk& last = s.audioChunks.back();
        const int64_t frames = static_cast<int64_t>(last.samples.size()) / channels;
        const int64_t wanted = (target - last.start).count() * rate / 10'000'000;
        const int64_t keep = std::clamp<int64_t>(wanted, static_cast<int64_t>(last.offsetFrames), frames);
        if (keep == frames)
            break;
        s.queuedAudio -= MediaTime((frames - keep) * 10'000'000 / rate);
        if (keep > 0) {
            last.samples.resize(static_cast<std::size_t>(keep * channels));
            break;
        }
        s.audioChunks.pop_back();
    }
    s.audioEnded = false;
    s.audioResync = true;
    s.audioResyncTarget = target;
    s.audio.wake.notify_all();
    s.demuxWake.notify_all();
    return target;
}

AudioDecoder::AudioDecoder(SharedState& shared, CodecContextHandle codec, const AVStream& stream, int index,
    MediaTime startOffset, int outRate, int outChannels)
    : DecoderLoop(shared, shared.audio, refillAudioPackets, shared.audioEnded, std::move(codec), stream,
          {"sound packet", "sound"})
    , startOffset_(startOffset)
    , outRate_(outRate)
    , outChannels_(outChannels)
    , resampler_(outRate, outChannels)
    , stream_(&stream)
    , index_(index)
{
}

void AudioDecoder::restart(MediaTime target)
{
    target_ = target;
    expected_ = target;
    resampler_.restart();
}

bool AudioDecoder::takeChange()
{
    if (!shared_.audioSwitch.codec)
        return false;
    change_ = std::move(shared_.audioSwitch);
    shared_.audioSwitch = {};
    switches_ = shared_.audioSwitches;
    return true;
}

void AudioDecoder::applyChange()
{
    AudioSwitch old {std::move(codec_), stream_, index_, target_};
    const bool trial = change_.trial;
    codec_ = std::move(change_.codec);
    stream_ = change_.stream;
    index_ = change_.index;
    avcodec_flush_buffers(codec_.get());
    restart(change_.target);
    change_ = {};
    trialErrors_ = 0;
    // A stream that came back after a failed one is known to decode; so is one chosen while a trial ran.
    if (trial)
        previous_ = previous_.codec ? std::move(previous_) : std::move(old);
    else
        previous_ = {};
}

bool AudioDecoder::inputCurrent() const
{
    return switches_ == shared_.audioSwitches;
}

void AudioDecoder::decodeFailed()
{
    if (!previous_.codec || ++trialErrors_ < trialErrorLimit)
        return;
    const int failed = index_;
    const int back = previous_.index;
    {
        std::lock_guard lock(shared_.mutex);
        if (shared_.audioSwitch.codec || shared_.quit)
            return;  // another choice is already on its way
        previous_.trial = false;
        postAudioSwitch(shared_, std::move(previous_), outRate_, outChannels_);
        previous_ = {};
    }
    platformLog("mmstream: audio stream %d cannot be decoded; stream %d plays on\n", failed, back);
}

void AudioDecoder::take(AVFrame& frame)
{
    AudioChunk chunk;
    int produced = resampler_.convert(frame, codec_->ch_layout.nb_channels, chunk.samples);
    if (produced <= 0)
        return;
    // The new stream gives sound: the old one is not needed again.
    previous_ = {};
    int64_t ts = frame.best_effort_timestamp;
    MediaTime start = ts != AV_NOPTS_VALUE ? toMediaTime(ts, stream_->time_base) - startOffset_ : expected_;
    if (start > expected_ - audioJitter && start < expected_ + audioJitter)
        start = expected_;
    chunk.start = start;
    MediaTime length(static_cast<int64_t>(produced) * 10'000'000 / outRate_);
    expected_ = start + length;
    if (expected_ <= target_)
        return;  // wholly before the seek target
    push(std::move(chunk));
}

void AudioDecoder::push(AudioChunk chunk)
{
    SharedState& s = shared_;
    std::unique_lock lock(s.mutex);
    s.audio.wake.wait(lock, [&] {
        return s.quit || generation_ != s.generation || switches_ != s.audioSwitches || s.queuedAudio < maxQueuedAudio;
    });
    if (s.quit || generation_ != s.generation || switches_ != s.audioSwitches)
        return;
    s.queuedAudio += MediaTime(static_cast<int64_t>(chunk.samples.size() / outChannels_) * 10'000'000 / outRate_);
    s.audioChunks.push_back(std::move(chunk));
}

}

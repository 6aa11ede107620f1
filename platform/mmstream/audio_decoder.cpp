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
// A change of speed is heard this far (device time) past what the device has been handed: the sound up to
// there was made at the old speed and stays, so the change comes without a gap.
constexpr MediaTime tempoLead = std::chrono::milliseconds(150);
// The filter fades in over its first window: sound made again after a change of speed is fed from this
// far (movie time) before the cut.
constexpr MediaTime tempoFadeIn = std::chrono::milliseconds(250);
// The sound kept at its own speed: what the queue holds at the fastest speed, and some more.
constexpr MediaTime keptSound = std::chrono::milliseconds(2500);

MediaTime spanOf(int64_t frames, int rate)
{
    return MediaTime(frames * 10'000'000 / rate);
}

}

MediaTime postAudioSwitch(SharedState& s, AudioSwitch change, int rate, int channels)
{
    MediaTime handedOut = s.handedOutAudio(rate);
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
        const int64_t wanted = static_cast<int64_t>(static_cast<double>((target - last.start).count()) * rate
            / (10'000'000.0 * last.speed));
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

namespace {

// Lock held: the sound queued beyond a moment just ahead of what the device has been handed is dropped,
// for the decoder to make again from there.
void remakeQueuedSound(SharedState& s, int rate, int channels)
{
    int64_t leadFrames = s.running ? tempoLead.count() * rate / 10'000'000 : 0;
    MediaTime cut = s.handedOutAudio(rate);
    auto chunk = s.audioChunks.begin();
    for (; chunk != s.audioChunks.end(); ++chunk) {
        const int64_t frames = static_cast<int64_t>(chunk->samples.size()) / channels;
        const int64_t offset = static_cast<int64_t>(chunk->offsetFrames);
        if (frames - offset < leadFrames) {
            leadFrames -= frames - offset;
            cut = chunk->start + deviceSpan(frames, chunk->speed, rate);
            continue;
        }
        // The cut falls within this chunk: it keeps its part before the cut.
        const int64_t keep = offset + leadFrames;
        cut = chunk->start + deviceSpan(keep, chunk->speed, rate);
        if (keep > 0) {
            s.queuedAudio -= spanOf(frames - keep, rate);
            chunk->samples.resize(static_cast<std::size_t>(keep * channels));
            ++chunk;
        }
        break;
    }
    for (auto dropped = chunk; dropped != s.audioChunks.end(); ++dropped)
        s.queuedAudio -= spanOf(static_cast<int64_t>(dropped->samples.size()) / channels, rate);
    s.audioChunks.erase(chunk, s.audioChunks.end());
    s.tempoCut = cut;
    ++s.tempoChanges;
    s.audio.wake.notify_all();
}

}

void postTempoChange(SharedState& s, double speed, int rate, int channels)
{
    s.speed = speed;
    remakeQueuedSound(s, rate, channels);
}

void postSoundModeChange(SharedState& s, SoundMode mode, int rate, int channels)
{
    s.soundMode = mode;
    remakeQueuedSound(s, rate, channels);
}

AudioDecoder::AudioDecoder(SharedState& shared, CodecContextHandle codec, const AVStream& stream, int index,
    MediaTime startOffset, int outRate, int outChannels)
    : DecoderLoop(shared, shared.audio, refillAudioPackets, shared.audioEnded, std::move(codec), stream,
          {"sound packet", "sound"})
    , startOffset_(startOffset)
    , outRate_(outRate)
    , outChannels_(outChannels)
    , resampler_(outRate, outChannels)
    , tempo_(outRate, outChannels)
    , stream_(&stream)
    , index_(index)
{
}

void AudioDecoder::restart(MediaTime target)
{
    target_ = target;
    expected_ = target;
    resampler_.restart();
    kept_.clear();
    tempoRunning_ = false;
    inputEnded_ = false;
    tempoSkipBefore_ = MediaTime(0);
}

bool AudioDecoder::takeChange()
{
    const bool tempoChanged = tempoChanges_ != shared_.tempoChanges;
    speed_ = shared_.speed;
    mode_ = shared_.soundMode;
    tempoChanges_ = shared_.tempoChanges;
    if (!shared_.audioSwitch.codec) {
        // The new stream starts at the speed asked for anyway.
        tempoChange_ = tempoChanged;
        tempoCut_ = shared_.tempoCut;
        return tempoChanged;
    }
    change_ = std::move(shared_.audioSwitch);
    shared_.audioSwitch = {};
    switches_ = shared_.audioSwitches;
    return true;
}

void AudioDecoder::applyChange()
{
    if (tempoChange_) {
        tempoChange_ = false;
        replayAtNewSpeed();
        return;
    }
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
    std::vector<int16_t> converted;
    int produced = resampler_.convert(frame, codec_->ch_layout.nb_channels, converted);
    if (produced <= 0)
        return;
    // The new stream gives sound: the old one is not needed again.
    previous_ = {};
    int64_t ts = frame.best_effort_timestamp;
    MediaTime start = ts != AV_NOPTS_VALUE ? toMediaTime(ts, stream_->time_base) - startOffset_ : expected_;
    if (start > expected_ - audioJitter && start < expected_ + audioJitter)
        start = expected_;
    MediaTime length(static_cast<int64_t>(produced) * 10'000'000 / outRate_);
    expected_ = start + length;
    if (expected_ <= target_)
        return;  // wholly before the seek target
    kept_.push_back({start, resampler_.layout(), std::move(converted)});
    while (kept_.size() > 1 && expected_ - kept_.front().start > keptSound)
        kept_.pop_front();
    const KeptSound& sound = kept_.back();
    play(start, sound.layout, sound.samples.data(), produced);
}

void AudioDecoder::play(MediaTime start, const SoundLayout& layout, const int16_t* samples, int64_t frames)
{
    AudioChunk chunk;
    int64_t produced = frames;
    if (!tempo_.needed(speed_, mode_, layout)) {
        chunk.start = start;
        chunk.samples.assign(samples, samples + frames * outChannels_);
    } else {
        const MediaTime length = spanOf(frames, outRate_);
        // Sound that does not follow on from what the filter was fed starts it over, there; so does sound
        // whose channels changed.
        if (!tempoRunning_ || layout != tempoLayout_ || start - tempoInputEnd_ > audioJitter
            || tempoInputEnd_ - start > audioJitter) {
            tempo_.start(speed_, mode_, layout);
            tempoRunning_ = true;
            tempoLayout_ = layout;
            tempoFrom_ = start;
            tempoOut_ = 0;
            tempoInputEnd_ = start;
        }
        tempoInputEnd_ += length;
        produced = tempo_.process(samples, static_cast<int>(frames), chunk.samples);
        if (produced <= 0)
            return;
        // A filter that could not be made passes the sound at its own speed.
        chunk.speed = tempo_.speed();
        chunk.start = tempoFrom_ + deviceSpan(tempoOut_, chunk.speed, outRate_) + tempo_.lead();
        tempoOut_ += produced;
    }
    if (chunk.start < tempoSkipBefore_) {
        const int64_t skip = std::min<int64_t>(produced,
            static_cast<int64_t>(static_cast<double>((tempoSkipBefore_ - chunk.start).count()) * outRate_ / (10'000'000.0 * chunk.speed)));
        if (skip == produced)
            return;
        chunk.samples.erase(chunk.samples.begin(), chunk.samples.begin() + skip * outChannels_);
        chunk.start += deviceSpan(skip, chunk.speed, outRate_);
    }
    push(std::move(chunk));
}

void AudioDecoder::playRest()
{
    if (!tempoRunning_ || !tempo_.active())
        return;
    AudioChunk chunk;
    chunk.speed = tempo_.speed();
    chunk.start = tempoFrom_ + deviceSpan(tempoOut_, chunk.speed, outRate_) + tempo_.lead();
    const int produced = tempo_.finish(chunk.samples);
    tempoRunning_ = false;
    if (produced <= 0)
        return;
    push(std::move(chunk));
}

void AudioDecoder::finish()
{
    inputEnded_ = true;
    playRest();
}

void AudioDecoder::replayAtNewSpeed()
{
    tempoRunning_ = false;
    tempoSkipBefore_ = tempoCut_;
    const MediaTime from = tempoCut_ - tempoFadeIn;
    for (const KeptSound& sound : kept_) {
        const int channels = sound.layout.channels;
        const int64_t frames = static_cast<int64_t>(sound.samples.size()) / channels;
        if (sound.start + spanOf(frames, outRate_) <= from)
            continue;
        {
            // A newer change (or a seek) makes this one moot: the decoder takes that one next.
            std::lock_guard lock(shared_.mutex);
            if (tempoChanges_ != shared_.tempoChanges || generation_ != shared_.generation || shared_.quit)
                break;
        }
        int64_t skip = 0;
        if (sound.start < from)
            skip = std::min<int64_t>(frames, (from - sound.start).count() * outRate_ / 10'000'000);
        play(sound.start + spanOf(skip, outRate_), sound.layout, sound.samples.data() + skip * channels, frames - skip);
    }
    if (inputEnded_)
        playRest();
    tempoSkipBefore_ = MediaTime(0);
}

void AudioDecoder::push(AudioChunk chunk)
{
    SharedState& s = shared_;
    std::unique_lock lock(s.mutex);
    s.audio.wake.wait(lock, [&] {
        return s.quit || generation_ != s.generation || switches_ != s.audioSwitches || tempoChanges_ != s.tempoChanges
            || s.queuedAudio < maxQueuedAudio;
    });
    // Sound made at a speed changed since is made again from what was kept of it.
    if (s.quit || generation_ != s.generation || switches_ != s.audioSwitches || tempoChanges_ != s.tempoChanges)
        return;
    s.queuedAudio += MediaTime(static_cast<int64_t>(chunk.samples.size() / outChannels_) * 10'000'000 / outRate_);
    s.audioChunks.push_back(std::move(chunk));
}

}

#include "platform/mmstream/audio_decoder.h"

#include <utility>

namespace platform {

AudioDecoder::AudioDecoder(SharedState& shared, CodecContextHandle codec, const AVStream& stream, MediaTime startOffset,
    int outRate, int outChannels)
    : DecoderLoop(shared, shared.audio, refillAudioPackets, shared.audioEnded, std::move(codec), stream,
          {"sound packet", "sound"})
    , startOffset_(startOffset)
    , outRate_(outRate)
    , outChannels_(outChannels)
    , resampler_(outRate, outChannels)
{
}

void AudioDecoder::restart(MediaTime target)
{
    target_ = target;
    expected_ = target;
    resampler_.restart();
}

void AudioDecoder::take(AVFrame& frame)
{
    AudioChunk chunk;
    int produced = resampler_.convert(frame, codec_->ch_layout.nb_channels, chunk.samples);
    if (produced <= 0)
        return;
    int64_t ts = frame.best_effort_timestamp;
    MediaTime start = ts != AV_NOPTS_VALUE ? toMediaTime(ts, stream_.time_base) - startOffset_ : expected_;
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
    s.audio.wake.wait(lock, [&] { return s.quit || generation_ != s.generation || s.queuedAudio < maxQueuedAudio; });
    if (s.quit || generation_ != s.generation)
        return;
    s.queuedAudio += MediaTime(static_cast<int64_t>(chunk.samples.size() / outChannels_) * 10'000'000 / outRate_);
    s.audioChunks.push_back(std::move(chunk));
}

}

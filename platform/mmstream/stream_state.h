// What the engine's threads share: the demuxer, the two decoders, the audio device's callback and the
// caller's thread meet only here. One mutex guards it all; nothing slow (reading, decoding,
// converting) runs under it, and AudioOutput is never called while it is held, because the audio
// callback takes it too.
#pragma once

#include "platform/mmstream/ffmpeg_support.h"
#include "platform/mmstream/sound_mode.h"
#include "platform/mmstream/stream_clock.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

// Packets waiting for the decoders: beyond this the demuxer waits whatever the interleaving.
constexpr std::size_t maxQueuedPacketBytes = 32u << 20;
// A queue holding more packets than this has enough; the demuxer reads on only for a starving one.
constexpr std::size_t enoughVideoPackets = 30;
constexpr std::size_t enoughAudioPackets = 60;
// A decoder wakes the demuxer only once its queue is down to this, so that the demuxer reads in runs
// rather than one packet per packet taken.
constexpr std::size_t refillVideoPackets = enoughVideoPackets / 2;
constexpr std::size_t refillAudioPackets = enoughAudioPackets / 2;
constexpr MediaTime maxQueuedAudio = std::chrono::seconds(1);
// Below this the audio decoder is woken to top the sound up again; between the two it sleeps, so it
// decodes in bursts instead of waking for every buffer the device takes.
constexpr MediaTime audioRefillLevel = std::chrono::milliseconds(750);
// Small steps between the time stamps of consecutive sound chunks are rounding, not gaps.
constexpr MediaTime audioJitter = std::chrono::milliseconds(30);
// Decoded captions waiting to be taken; a caller that never takes them cannot make them grow past this.
constexpr std::size_t maxQueuedCaptionBytes = 16u << 20;

struct QueuedPacket {
    PacketHandle packet;  // null marks the end of the input
    uint64_t generation = 0;
};

// What a queued packet counts against maxQueuedPacketBytes.
inline std::size_t queuedSize(const AVPacket& packet)
{
    return static_cast<std::size_t>(packet.size) + sizeof(AVPacket);
}

struct DecodedFrame {
    FrameHandle frame;
    MediaTime start {0};
    MediaTime end {0};
    MediaTime queuedAt {0};  // the clock when the decoder queued it (tells why a skipped picture was late)
    std::optional<MediaTime> previousStart;  // the picture decoded just before it, when known
};

struct AudioChunk {
    MediaTime start {0};
    std::vector<int16_t> samples;  // interleaved, device channel count
    std::size_t offsetFrames = 0;   // frames already played or dropped
    double speed = 1.0;             // movie time per device time: the playback speed it was made for
};

// One decoder's input: its packets (guarded by the mutex) and the condition its thread sleeps on,
// for packets and for room in what it fills.
struct PacketQueue {
    std::deque<QueuedPacket> packets;
    std::condition_variable wake;
};

// Sound of another audio stream: posted by the caller, taken over by the audio decoder's thread.
struct AudioSwitch {
    CodecContextHandle codec;  // null: nothing posted
    const AVStream* stream = nullptr;
    int index = -1;
    MediaTime target {0};      // the new stream is heard from here on
    bool trial = true;         // the stream left is kept until the new one has given sound
};

struct SharedState {
    mutable std::mutex mutex;
    std::condition_variable demuxWake;  // the demuxer: room in the queues, a seek, the end
    std::condition_variable frameWake;  // the caller waiting for a picture
    std::atomic<bool> quit {false};     // set under the mutex; read without it by the reading interrupt

    // Everything below is guarded by mutex.
    bool running = false;
    uint64_t generation = 0;  // bumped by every seek; older packets, frames and sound are dropped
    bool seekPending = false;
    MediaTime seekTarget {0};

    // Packets: filled by the demuxer, taken by the decoders.
    bool demuxEnded = false;
    // The end of the latest packet read since the last seek (at least the seek's target), and where the
    // file really ended the last time reading met its end; the caller learns that length (knownEnd)
    // once the stream has played to that end.
    MediaTime readEnd {0};
    std::optional<MediaTime> fileEnd;
    std::optional<MediaTime> knownEnd;
    PacketQueue video;
    PacketQueue audio;
    std::size_t queuedPacketBytes = 0;
    // The audio stream whose packets are queued; a change asks the demuxer to read the new one again from
    // audioResyncTarget without queueing the pictures and captions twice.
    int audioIndex = -1;
    bool audioResync = false;
    MediaTime audioResyncTarget {0};
    // Bumped by every change of audio stream: sound of an older one is dropped.
    uint64_t audioSwitches = 0;
    AudioSwitch audioSwitch;

    // The caption streams to decode, posted by the caller: the demuxer takes the set over and reads the
    // file again from captionResyncTarget for the streams it did not decode before.
    bool captionResync = false;
    std::vector<int> captionSelection;
    MediaTime captionResyncTarget {0};

    // TV captions (tv_captions.h), found by the first pass over the video and then by the video decoder,
    // which queues the captions of those selected in captionTexts. A change of the selection bumps
    // tvCaptionChanges, which the video decoder reads without the lock to know when to look.
    std::vector<CaptionStreamInfo> tvCaptionStreams;
    std::vector<int> tvCaptionSelection;
    std::atomic<uint64_t> tvCaptionChanges {0};

    // Captions: decoded by the demuxer as it reads them, taken by the caller. A seek keeps them.
    std::vector<CaptionText> captionTexts;
    std::size_t queuedCaptionBytes = 0;
    bool captionOverflowLogged = false;
    // Picture captions likewise, counted by their pixels' bytes against maxQueuedCaptionBytes.
    std::vector<CaptionPictureHandle> captionPictures;
    std::size_t queuedPictureBytes = 0;

    // Pictures: filled by the video decoder, taken by the caller.
    std::deque<DecodedFrame> frames;
    std::size_t maxFrames = 8;
    bool videoEnded = false;
    MediaTime lastFrameEnd {0};
    MediaTime lastDelivered {0};
    // A picture of the current position is in the caller's target: set by a delivery, cleared by a seek.
    bool positionShown = false;
    // Where the picture before the one delivered last starts, when the decoder knew it: a frame step back
    // seeks right there, so the time is that picture's start. Cleared by a seek.
    std::optional<MediaTime> shownPreviousStart;
    // A step back whose picture's start was only guessed: its delivery moves the clock on to that start
    // when the guess fell short (never back: a clock that steps back is taken for a jump). Cleared by a seek.
    bool stepClockGuessed = false;
    // Set by a run or a seek: the clock (and with it the sound) stands until the caller comes back after
    // the first picture of the position was delivered, that is once that picture has been shown, so the
    // pictures after it are not already late when the clock starts. pictureHoldSince bounds the wait,
    // and so does heldSound, the sound the device asked for meanwhile (silence, which is what the hold
    // costs the listener).
    bool pictureHold = false;
    SteadyClock::time_point pictureHoldSince {};
    MediaTime heldSound {0};
    // What showing a picture usually costs the caller (decoder_skip.h), for the decoder to know which
    // pictures would come too late.
    MediaTime showCost {0};

    // Sound: filled by the audio decoder, drained by the device's callback.
    std::deque<AudioChunk> audioChunks;
    MediaTime queuedAudio {0};
    bool audioEnded = false;
    // Sound position: audioBase plus audioFramesOut frames at the device rate, played at audioSpeed.
    MediaTime audioBase {0};
    int64_t audioFramesOut = 0;
    double audioSpeed = 1.0;
    // The playback speed and the sound mode asked for (audio_tempo.h). A change of either bumps
    // tempoChanges: the sound queued beyond tempoCut was dropped, and the audio decoder makes it again from
    // there at the new speed and in the new mode.
    double speed = 1.0;
    SoundMode soundMode = SoundMode::Normal;
    uint64_t tempoChanges = 0;
    MediaTime tempoCut {0};
    bool audioPrimed = false;
    int64_t primingFrames = 0;
    StreamClock clock;
    // After the sound device went away or was replaced: the clock runs on the system timer and each
    // callback skips the sound the clock has passed, until the device has handed sound on time for a
    // while and drives the clock again (sound_device_change.cpp).
    bool soundFollowsClock = false;
    int soundSteadyCallbacks = 0;

    // Where the sound handed to the device so far ends, in movie time.
    MediaTime handedOutAudio(int rate) const { return audioBase + deviceSpan(audioFramesOut, audioSpeed, rate); }
};

}

// The engine behind the multimedia stream: opens one movie, plays its sound, keeps its clock and hands
// out video frames when they are due. The FFmpeg engine is the real one; tests may install a scripted
// engine through setMediaBackendOpener to reach states a real movie does not produce on demand.
#pragma once

#include "platform/authored_captions.h"
#include "platform/mmstream/caption_pictures.h"
#include "platform/mmstream/sample_target.h"
#include "platform/mmstream/sound_mode.h"
#include "platform/surface.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <ratio>
#include <string>
#include <vector>

namespace platform {

// Stream time in 100-nanosecond units, counted from the start of the movie.
using MediaTime = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;

// The playback speeds offered (movie time per real time), in steps of a tenth.
constexpr double slowestSpeed = 0.5;
constexpr double fastestSpeed = 2.0;

// speed rounded to the nearest tenth within slowestSpeed..fastestSpeed (however far outside it lies); 1
// for what is no number.
inline double playbackSpeedStep(double speed)
{
    if (!(speed == speed))
        return 1.0;
    const double tenths = std::round(std::clamp(speed, slowestSpeed, fastestSpeed) * 10.0);
    return tenths / 10.0;
}

struct MediaProperties {
    bool hasVideo = false;
    bool hasAudio = false;    // an audio stream that is being played (it may still be silent: no device)
    // Picture size of the primary video stream. A file with sound only has no picture of its own: it
    // is shown as a black picture of this size, handed out every frameInterval while the sound plays.
    int width = 0;
    int height = 0;
    MediaTime duration {0};   // the container's duration, or the longest stream's
    MediaTime frameInterval {0}; // nominal time between frames; 0 when unknown
};

// The caption stream of a movie that is read along with its pictures.
struct CaptionStreamInfo {
    int index = -1;        // the stream's number in the container; -1 when the movie has none
    std::string language;  // its language tag as the container writes it, "" when untagged
    // For an SSA/ASS stream: its script header and the fonts attached to the movie; none otherwise.
    std::shared_ptr<const AuthoredStyle> style;
    bool picture = false;  // a picture caption stream (PGS, DVD, DVB), whose captions are bitmaps
};

// One audio stream of the movie.
struct AudioStreamInfo {
    int index = -1;          // the stream's number in the container
    std::string language;    // its language tag as the container writes it, "" when untagged
    bool isDefault = false;  // the container flags it as the one to play
};

// One caption of that stream as its decoder gave it.
struct CaptionText {
    MediaTime start {0};
    MediaTime end {0};
    std::string text;      // UTF-8: an ASS dialogue line when assLine, else plain text
    bool assLine = false;
    int stream = -1;       // the number in the container of the stream it came from
    // For a TV caption (tv_captions.h) or a teletext page, the window it shows: a later caption of the
    // same stream, window and start replaces it (its end was not known yet). -1 for every other caption.
    int window = -1;
};

// Why the engine refused a choice of stream or a speed.
enum class ChoiceError {
    None,
    NotOfTheMovie,  // the number names none of the movie's streams of that kind
    NoSound,        // no sound is played, so no audio stream can be chosen
    Undecodable,    // the stream's decoder cannot start
    OutOfRange,     // a speed below slowestSpeed or above fastestSpeed
    FixedSpeed,     // the engine plays at its own speed only
};

enum class FrameOutcome {
    Delivered,      // a frame due at the stream time is in the target
    EndOfStream,    // every frame has been shown and the movie has played to its end
    NotDue,         // the next frame is not due within the timeout (or the stream is stopped)
    DecoderBehind,  // no decoded frame arrived within the timeout
};

struct FrameDelivery {
    FrameOutcome outcome = FrameOutcome::NotDue;
    MediaTime start {0};  // for Delivered: the presentation interval of the frame now in the target
    MediaTime end {0};
};

class MediaBackend {
public:
    virtual ~MediaBackend() = default;

    virtual MediaProperties properties() const = 0;
    // The movie's length as now known: the announced duration, or less once reading has met the real
    // end of the file before it (a file cut short, even while it plays).
    virtual MediaTime knownDuration() const { return properties().duration; }
    // Starts or resumes sound and clock from the current position.
    virtual void run() = 0;
    // Pauses sound and clock; the position is kept.
    virtual void stop() = 0;
    virtual bool running() const = 0;
    // The stream clock: the sound actually played, or monotonic time for a movie without sound.
    virtual MediaTime time() const = 0;
    // Moves to target (clamped to the movie); the next frame delivered is the one shown at target.
    virtual void seek(MediaTime target) = 0;
    // While stopped with a picture shown: moves to the picture after (forward) or before it, which the
    // next delivery hands out, with the clock at its start. False, nothing moved, when there is none
    // (the first or the last picture, no picture of the movie's own), while running, or while the
    // picture of the last move is still to be delivered.
    virtual bool stepFrame(bool /*forward*/) { return false; }
    // Waits up to timeout for the next frame that is due, skipping frames that are already late, and
    // converts it into target (scaled to the target's size, in the target's pixel format).
    virtual FrameDelivery deliverFrame(Surface& target, std::chrono::milliseconds timeout) = 0;
    // The same for a sample target, which may take the picture unconverted (SampleTarget::samplePicture).
    virtual FrameDelivery deliverPicture(SampleTarget& target, std::chrono::milliseconds timeout)
    {
        return deliverFrame(target.samplePixels(), timeout);
    }
    // Plays on at speed (movie time per real time, slowestSpeed to fastestSpeed; the sound keeps its
    // pitch), from a moment just after the current position.
    virtual ChoiceError setSpeed(double) { return ChoiceError::FixedSpeed; }
    virtual double speed() const { return 1.0; }
    // Mixes the sound by mode from a moment just after the current position (sound_mode.h). False when
    // no sound is played; the mode is kept for the sound then.
    virtual bool setSoundMode(SoundMode) { return false; }
    virtual SoundMode soundMode() const { return SoundMode::Normal; }
    // The channels of the audio stream heard, as its decoder gives them; 0 when no sound is played.
    virtual int soundChannels() const { return 0; }
    // The caption stream (text or picture) read along with the pictures; index -1 when there is none.
    virtual CaptionStreamInfo captionStream() const { return {}; }
    // Appends the captions decoded since the last call to texts, in the order they were read.
    virtual void takeCaptionTexts(std::vector<CaptionText>&) { }
    // Every caption stream of the movie that can be shown, in container order, and the numbers of those
    // decoded now (at first the one captionStream names).
    virtual std::vector<CaptionStreamInfo> captionStreams(std::vector<int>* decoded = nullptr) const
    {
        if (decoded)
            decoded->clear();
        return {};
    }
    // Decodes exactly the caption streams numbered in indexes from now on, without pausing picture or
    // sound: a stream newly decoded is read again from a little before the current position, so the
    // caption on the screen now comes too. NotOfTheMovie, logged, when one of them is no caption stream of
    // the movie; nothing changes then.
    virtual ChoiceError selectCaptionStreams(const std::vector<int>&) { return ChoiceError::NotOfTheMovie; }
    // The same for a picture caption stream: the pictures decoded since the last call.
    virtual void takeCaptionPictures(std::vector<CaptionPictureHandle>&) { }
    // The movie's audio streams in container order.
    virtual std::vector<AudioStreamInfo> audioStreams() const { return {}; }
    // The number of the audio stream being played; -1 when no sound is played.
    virtual int playedAudioStream() const { return -1; }
    // Plays the audio stream numbered index from a moment after the current position on, without
    // pausing picture or clock. Refused, logged, when it is no audio stream of the movie, no sound is
    // played or its decoder cannot start: the stream played stays. A stream whose packets then fail to
    // decode gives way to the one played before it, logged as well.
    virtual ChoiceError selectAudioStream(int) { return ChoiceError::NotOfTheMovie; }
};

struct OpenOptions {
    bool playAudio = true;     // decode the primary audio stream and play it on the default device
    int decoderThreads = 0;    // video decoder threads; 0 sizes them to the movie and the machine
    // Every frame is due as soon as it is decoded and none is skipped; no sound is played. For
    // measuring decoding throughput, not for watching.
    bool untimed = false;
};

enum class OpenError {
    None,
    FileNotFound,
    AccessDenied,
    UnknownFormat,      // not a container the demuxer recognises, or a broken header
    NoPlayableStream,   // neither a video nor an audio stream that can be decoded
    OutOfResources,     // memory or threads could not be had
};

using BackendOpener =
    std::function<std::unique_ptr<MediaBackend>(const std::string& path, const OpenOptions&, OpenError& error)>;

// Opens path with FFmpeg; on failure returns nullptr and sets error.
std::unique_ptr<MediaBackend> openFfmpegBackend(const std::string& path, const OpenOptions& options, OpenError& error);

// The opener OpenFile uses; an empty function restores the FFmpeg engine. Returns the previous opener.
BackendOpener setMediaBackendOpener(BackendOpener opener);
BackendOpener mediaBackendOpener();

}

// One movie file opened on the platform's multimedia streaming service: its audio plays on the default
// audio device, its video is decoded frame by frame into a DirectDraw surface on request.
#pragma once

#include "platform/mmstream/media_backend.h"
#include "platform/mmstream/caption_pictures.h"
#include "platform/win32.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct IAMMultiMediaStream;
class IDirectDrawSurface;
struct IDirectDrawStreamSample;
class IDirectDraw;

namespace sublumen {

class Display;
class DisplaySurface;
struct TextCue;

// One caption stream of the movie.
struct CaptionStreamTrack {
    int32_t index = -1;      // its number in the file
    std::string language;    // its language tag, "" when untagged
    bool picture = false;    // its captions are pictures (PGS, DVD, DVB)
};

// A caption stream as the caption line and the caption choice name it: "[stream 2, kor]", and for the TV
// captions inside the video "[708-1, kor]", "[608-CC1]" (the language only when tagged).
std::string captionStreamLabel(int32_t index, std::string language);

// One audio stream of the movie.
struct AudioTrack {
    int32_t index = -1;      // its number in the file
    std::string language;    // its language tag, "" when untagged
    bool isDefault = false;  // flagged by the file as the one to play
};

class MediaStream {
public:
    // Opens path on display's DirectDraw object. Always yields an object; success is `stream` set and
    // `lastResult` 0, otherwise `lastResult` is the number of the step that failed (1..10).
    MediaStream(Display* display, const char* path);
    ~MediaStream();
    MediaStream(const MediaStream&) = delete;
    MediaStream& operator=(const MediaStream&) = delete;

    // Releases everything the object holds; called before the object is deleted.
    void release();
    // -1 without a stream, else 0 stopped or 1 running.
    int getState();
    // Mode 0 stops, 1 runs; -1 without a stream, -2 when the service refuses, else 0 (and `ended` clear).
    int setRun(int mode);
    // The playback time in milliseconds; -1 without a stream, -2 without a sample, -3 on a failed query.
    uint32_t currentTime();
    // Seeks to milliseconds (0 becomes 1) and logs "Seek=%d\n"; -1/-2 without stream/sample.
    int seek(uint32_t milliseconds);
    // While stopped: the picture after (step 1) or before (-1) the one shown is delivered by the next
    // update; logs "FrameStep=%d\n". 0 moved, 1 stays (first or last picture, no picture, running, a
    // step still on its way), -1/-2 without stream/sample.
    int stepFrame(int step);
    // Plays on at rate (0.5 to 2.0) times the normal speed with the sound's pitch kept, from a moment just
    // after the current time; logs "Speed=%.1f\n". 0 done, 1 when the stream plays at its own speed only
    // or rate is outside that range, -1 without a stream.
    int setRate(double rate);
    // The speed the stream plays at; 1 without a stream.
    double rate() const;
    // Mixes the sound by mode from a moment just after the current time; logs "SoundMode=%d Time=%u\n" with
    // the current time. 0 done, 1 when the movie plays no sound (the mode is kept for it), -1 without a
    // stream.
    int setSoundMode(platform::SoundMode mode);
    // The channels of the audio stream heard; 0 without sound or stream.
    int soundChannels() const;
    // Decodes the next picture into `surface`: 0 new frame, 1 unexpected wait status, 2 still busy,
    // -2 end of stream handled, -3 unexpected result, -1 no stream, or a status after a busy wait.
    int update();
    // Copies the picture onto target (halftone stretch with EnhanceImage, else a DirectDraw blit; the
    // FlipVertical flag mirrors it); -1 without a stream, else the copy's result.
    int blitFrame(DisplaySurface* target, int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight,
        int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight, int32_t flags);

    // Names the movie's own caption stream as the caption line shows it (captionStreamLabel); false,
    // with buffer untouched, when the movie has none.
    bool captionStreamName(char* buffer, size_t size) const;
    // Appends the captions of that stream read since the last call to cues, in milliseconds and plain
    // text; nothing without such a stream. With streams, the number of the stream each came from is
    // appended there alongside; with events, each caption as read (for an SSA/ASS stream its event line,
    // for drawing as authored).
    void takeCaptionCues(std::vector<TextCue>& cues, std::vector<int32_t>* streams = nullptr,
        std::vector<platform::CaptionText>* events = nullptr);
    // For the SSA/ASS caption stream numbered index (-1: the one the movie reads by itself) its header and
    // the movie's attached fonts; none for every other kind of caption stream.
    std::shared_ptr<const platform::AuthoredStyle> captionStyle(int32_t index = -1) const;
    // Every caption stream of the movie that can be shown, in file order, and in decoded the numbers of
    // those read now; empty when it has none.
    std::vector<CaptionStreamTrack> captionStreams(std::vector<int32_t>* decoded = nullptr) const;
    // Reads exactly the caption streams numbered in indexes from now on, without a pause; false (logged
    // by the stream) when one of them is none of the movie's.
    bool selectCaptionStreams(const std::vector<int32_t>& indexes);
    // Whether the movie's own caption stream carries pictures (PGS, DVD, DVB) rather than texts.
    bool captionStreamIsPicture() const;
    // Appends the picture captions of that stream read since the last call; nothing without one.
    void takeCaptionPictures(std::vector<platform::CaptionPictureHandle>& pictures);

    // The movie's audio streams in file order, and in heard the number of the one heard (-1: none);
    // empty when no sound is played.
    std::vector<AudioTrack> audioTracks(int32_t* heard) const;
    // Only the number of the stream heard (-1: none), cheaply.
    int32_t heardAudio() const;
    // Makes the audio stream numbered index heard from a moment on, without a pause; false (logged by the
    // stream) when it cannot be, and the stream heard stays.
    bool selectAudio(int32_t index);

    IAMMultiMediaStream* stream = nullptr;
    IDirectDrawSurface* surface = nullptr;
    IDirectDrawStreamSample* sample = nullptr;
    IDirectDraw* directDraw = nullptr;
    RECT videoRect {};
    uint32_t duration = 0;
    int32_t lastResult = 0;
    int32_t ended = 0;
    // Seeks made on the stream, its own error skips included: listeners told of the position compare it.
    uint32_t seekCount = 0;

private:
    // Creation steps 1 to 10; the number of the step that failed, or 0.
    int32_t open(const char* path);
    // The end of the stream: a real end stops the stream and sets `ended`; one reported more than a
    // second before the duration is a decoding error and is skipped. Both answer -2.
    int handleEnd(uint32_t before, uint32_t after);
    bool comHeld = false;
    // The engine behind the stream, for what the movie offers beyond the streaming interfaces (frame
    // steps, speed, its caption and audio streams); not a step of creation. Its caption streams are asked
    // for only when it has one, its audio streams only when sound is played.
    std::shared_ptr<platform::MediaBackend> engine;
    bool hasCaptionStreams = false;
    bool playsSound = false;
};

}

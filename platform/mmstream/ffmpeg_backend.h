// The multimedia engine on FFmpeg. Three worker threads fill bounded queues: the demuxer
// (ffmpeg_demuxer.h) reads packets for the two decoders, which share one loop (decoder_loop.h); the
// video decoder queues pictures, the audio decoder sound resampled to the device's format. The audio
// device's callback drains the sound and drives the clock (stream_clock.cpp); the caller's thread
// takes decoded pictures when they are due (frame_handout.cpp) and converts them with libswscale
// (picture_converter.h). The threads meet only in SharedState (stream_state.h), under its one mutex.
#pragma once

#include "platform/mmstream/audio_decoder.h"
#include "platform/mmstream/audio_output.h"
#include "platform/mmstream/decoder_skip.h"
#include "platform/mmstream/ffmpeg_demuxer.h"
#include "platform/mmstream/media_backend.h"
#include "platform/mmstream/picture_converter.h"
#include "platform/mmstream/stream_state.h"
#include "platform/mmstream/video_decoder.h"

#include <memory>
#include <string>
#include <thread>

namespace platform {

class FfmpegBackend final : public MediaBackend {
public:
    FfmpegBackend() = default;
    ~FfmpegBackend() override;

    OpenError open(const std::string& path, const OpenOptions& options);

    MediaProperties properties() const override { return properties_; }
    MediaTime knownDuration() const override;
    void run() override;
    void stop() override;
    bool running() const override;
    MediaTime time() const override;
    void seek(MediaTime target) override;
    bool stepFrame(bool forward) override;
    ChoiceError setSpeed(double speed) override;
    double speed() const override;
    bool setSoundMode(SoundMode mode) override;
    SoundMode soundMode() const override;
    int soundChannels() const override;
    FrameDelivery deliverFrame(Surface& target, std::chrono::milliseconds timeout) override;
    FrameDelivery deliverPicture(SampleTarget& target, std::chrono::milliseconds timeout) override;
    CaptionStreamInfo captionStream() const override { return captionStream_; }
    void takeCaptionTexts(std::vector<CaptionText>& texts) override;
    std::vector<CaptionStreamInfo> captionStreams(std::vector<int>* decoded) const override;
    ChoiceError selectCaptionStreams(const std::vector<int>& indexes) override;
    void takeCaptionPictures(std::vector<CaptionPictureHandle>& pictures) override;
    std::vector<AudioStreamInfo> audioStreams() const override { return audioStreams_; }
    int playedAudioStream() const override;
    ChoiceError selectAudioStream(int index) override;

private:
    bool openVideo(int decoderThreads);
    // True when the sound is played; audioIndex_ is set even when only the device is missing.
    bool openAudio();
    // A started decoder for the audio stream numbered index; null, logged, when there is none.
    CodecContextHandle openAudioCodec(int index);
    void startThreads();

    // The audio device's callback, on its own thread.
    void fillAudio(int16_t* samples, int frames, int rate, int channels);
    // On the caller's thread, once per picture asked for: notices a sound device that went away and
    // replaces it once one is back (sound_device_change.cpp).
    void keepSoundDevice();
    // Lock held: the clock runs on the system timer from now on, and the sound follows it.
    void followClock(SteadyClock::time_point now);
    // Lock held, on the audio thread, while the sound follows the clock: the buffer about to be handed out
    // starts at the clock when it would start behind it; ends the following once the device keeps pace.
    void placeSoundAtClock(SteadyClock::time_point now, int rate);
    // Whether a run or a seek holds the clock until its first picture has been shown.
    bool holdsForPicture() const;
    // Lock held: starts the hold of a run or a seek.
    void holdForPicture(SteadyClock::time_point now);
    // Lock held: ends the hold once the first picture has been shown or the hold has lasted too long;
    // true when it ended.
    bool releasePictureHold(SteadyClock::time_point now, bool pictureShown);
    // Lock held: ends the hold when over (true then); the clock starts now unless the sound starts it.
    bool endPictureHold(SteadyClock::time_point now, bool over);
    // Waits for the next due frame like deliverFrame; on Delivered, frame holds it unconverted.
    FrameDelivery takeFrame(std::chrono::milliseconds timeout, FrameHandle& frame);
    // A file with sound only: the black picture the target already holds is due once per frame interval
    // while running, and the stream ends when the sound has played out (sound_only.cpp).
    FrameDelivery blackFrame(std::chrono::milliseconds timeout);

    // Set by open, read only afterwards.
    bool untimed_ = false;
    MediaProperties properties_;
    int videoIndex_ = -1;
    // Where the movie's first picture starts: nothing lies before it to step back to.
    MediaTime firstPictureStart_ {0};
    int audioIndex_ = -1;
    CaptionStreamInfo captionStream_;
    // Every caption stream that can be shown, and those decoded now (changed only by the caller's thread).
    std::vector<CaptionStreamInfo> captionStreams_;
    std::vector<int> decodedCaptions_;
    std::vector<AudioStreamInfo> audioStreams_;
    // Beside each of them its stream, taken at open: reading may grow the container's stream array later.
    std::vector<const AVStream*> audioStreamObjects_;

    // Declared first so that it goes last: every part below refers to it.
    SharedState shared_;
    // The format context within is read only by the demuxer's thread once the threads run.
    FfmpegDemuxer demuxer_ {shared_};
    // Each decoder (and its codec context) is used only by its own thread once the threads run.
    std::unique_ptr<VideoDecoder> video_;
    std::unique_ptr<AudioDecoder> audioDecoder_;
    // Used only by the caller of deliverFrame and by the pictures handed out, which are converted on
    // that caller's thread.
    std::shared_ptr<PictureConverter> converter_ = std::make_shared<PictureConverter>();
    // What showing a picture costs that caller, so that a picture it would show too late is skipped.
    ShowCost showCost_;
    std::unique_ptr<AudioOutput> audio_;
    std::thread demuxThread_;
    std::thread videoThread_;
    std::thread audioThread_;
    // When the next black picture of a file with sound only is due; used only by the caller's thread.
    SteadyClock::time_point blackDueAt_ {};
};

}

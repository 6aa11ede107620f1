#include "platform/mmstream/ffmpeg_backend.h"

#include "platform/kernel.h"
#include "platform/mmstream/tv_captions.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <mutex>
#include <utility>

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
}

namespace platform {

namespace {

// Decoded pictures kept ready, bounded by memory for large pictures.
constexpr std::size_t maxQueuedFrameBytes = 48u << 20;
// Pictures beyond these are not movies but damaged headers: each sample surface and queued picture of
// that size would take gigabytes. 8192x8192 leaves room for every real format.
constexpr int maxPictureSide = 16384;
constexpr int64_t maxPictureArea = int64_t {8192} * 8192;

// How long a frame step forward waits for the decoder to queue the next picture.
constexpr std::chrono::milliseconds nextPictureWait {250};

// The black picture of a file with sound only: the built-in 640x480, which every placement fills
// sensibly, redrawn 25 times a second so the captions and the status bar follow the sound.
constexpr int soundOnlyWidth = 640;
constexpr int soundOnlyHeight = 480;
constexpr MediaTime soundOnlyFrameInterval = std::chrono::milliseconds(40);

// One decoder thread keeps up with about this many pixels a second on an ordinary core. Every further
// thread costs CPU in hand-overs and memory in the pictures it holds, so more are asked for only when
// the movie needs them, and never more than the machine has cores.
constexpr double pixelsPerDecoderThread = 40e6;

int decoderThreadsFor(const AVCodecParameters& parameters, AVRational rate)
{
    double framesPerSecond = rate.num > 0 && rate.den > 0 ? std::min(av_q2d(rate), 240.0) : 30.0;
    double pixelRate = static_cast<double>(std::max(parameters.width, 1)) * std::max(parameters.height, 1) * framesPerSecond;
    int wanted = static_cast<int>(std::ceil(pixelRate / pixelsPerDecoderThread));
    return std::clamp(wanted, 1, std::max(1, av_cpu_count()));
}

BackendOpener& currentOpener()
{
    static BackendOpener opener;
    return opener;
}

}

FfmpegBackend::~FfmpegBackend()
{
    // The device goes first: its callback reads the queues.
    audio_.reset();
    {
        std::lock_guard lock(shared_.mutex);
        shared_.quit = true;
    }
    shared_.demuxWake.notify_all();
    shared_.video.wake.notify_all();
    shared_.audio.wake.notify_all();
    shared_.frameWake.notify_all();
    for (std::thread* t : {&demuxThread_, &videoThread_, &audioThread_})
        if (t->joinable())
            t->join();
}

OpenError FfmpegBackend::open(const std::string& path, const OpenOptions& options)
{
    routeLibraryLog();
    untimed_ = options.untimed;
    OpenError error = demuxer_.open(path);
    if (error != OpenError::None)
        return error;
    const AVFormatContext& format = demuxer_.format();
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream* st = format.streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        const AVDictionaryEntry* language = av_dict_get(st->metadata, "language", nullptr, 0);
        audioStreams_.push_back({static_cast<int>(i), language && language->value ? language->value : "",
            (st->disposition & AV_DISPOSITION_DEFAULT) != 0});
        audioStreamObjects_.push_back(st);
    }

    bool hasVideo = openVideo(options.decoderThreads);
    bool hasAudio = options.playAudio && !options.untimed && openAudio();
    if (!hasVideo && audioIndex_ < 0) {
        platformLog("mmstream: %s has no stream that can be played\n", path.c_str());
        return OpenError::NoPlayableStream;
    }

    properties_.hasVideo = hasVideo;
    properties_.hasAudio = hasAudio;
    if (format.duration != AV_NOPTS_VALUE && format.duration > 0) {
        properties_.duration = toMediaTime(format.duration, AV_TIME_BASE_Q);
    } else {
        for (int index : {videoIndex_, audioIndex_}) {
            if (index < 0)
                continue;
            const AVStream* st = format.streams[index];
            if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
                properties_.duration = std::max(properties_.duration, toMediaTime(st->duration, st->time_base));
        }
    }
    if (!hasAudio)
        audioIndex_ = -1;
    if (!hasVideo) {
        // Songs with lyrics: the sound plays on black, so captions, status bar and seeking work as for
        // a movie.
        properties_.width = soundOnlyWidth;
        properties_.height = soundOnlyHeight;
        properties_.frameInterval = soundOnlyFrameInterval;
        platformLog("mmstream: %s has no picture: its sound plays on black\n", path.c_str());
    }
    demuxer_.queueStreams(videoIndex_, audioIndex_);
    if (!options.untimed) {
        // The attached fonts are read once and shared by every SSA/ASS stream.
        const std::shared_ptr<const CaptionFonts> fonts = attachedFonts(demuxer_.format());
        // TV captions are found by a first pass over the first seconds of the video.
        std::vector<CaptionStreamInfo> tv = hasVideo ? scanTvCaptions(path, demuxer_.format(), videoIndex_)
                                                     : std::vector<CaptionStreamInfo> {};
        captionStream_ = demuxer_.readCaptions(fonts, tv);
        captionStreams_ = captionStreamList(demuxer_.format(), fonts);
        if (captionStream_.index >= 0)
            decodedCaptions_.push_back(captionStream_.index);
        std::lock_guard lock(shared_.mutex);
        shared_.tvCaptionStreams = std::move(tv);
        if (isTvCaptionStream(captionStream_.index)) {
            shared_.tvCaptionSelection = {captionStream_.index};
            ++shared_.tvCaptionChanges;
        }
    }
    startThreads();
    return OpenError::None;
}

bool FfmpegBackend::openVideo(int decoderThreads)
{
    AVFormatContext* fmt = &demuxer_.format();
    const AVCodec* decoder = nullptr;
    int index = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (index < 0 || !decoder)
        return false;
    AVStream* st = fmt->streams[index];
    // Cover art travels as a one-picture video stream; it is not a movie.
    if (st->disposition & AV_DISPOSITION_ATTACHED_PIC)
        return false;
    CodecContextHandle codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), st->codecpar) < 0)
        return false;
    codec->thread_count = decoderThreads > 0 ? decoderThreads : decoderThreadsFor(*st->codecpar, av_guess_frame_rate(fmt, st, nullptr));
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    codec->pkt_timebase = st->time_base;
    int rc = avcodec_open2(codec.get(), decoder, nullptr);
    if (rc < 0) {
        platformLog("mmstream: video decoder %s cannot start (%s)\n", decoder->name, errorText(rc).c_str());
        return false;
    }
    if (codec->width <= 0 || codec->height <= 0)
        return false;
    if (codec->width > maxPictureSide || codec->height > maxPictureSide
        || int64_t {codec->width} * codec->height > maxPictureArea) {
        platformLog("mmstream: a picture size of %dx%d is not played\n", codec->width, codec->height);
        return false;
    }
    videoIndex_ = index;
    if (st->start_time != AV_NOPTS_VALUE)
        firstPictureStart_
            = std::max(MediaTime(0), toMediaTime(st->start_time, st->time_base) - demuxer_.startOffset());
    properties_.width = codec->width;
    properties_.height = codec->height;
    AVRational rate = av_guess_frame_rate(fmt, st, nullptr);
    if (rate.num > 0 && rate.den > 0)
        properties_.frameInterval = toMediaTime(1, av_inv_q(rate));
    int frameBytes = av_image_get_buffer_size(codec->pix_fmt == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : codec->pix_fmt,
        properties_.width, properties_.height, 1);
    if (frameBytes > 0)
        shared_.maxFrames = std::clamp<std::size_t>(maxQueuedFrameBytes / static_cast<std::size_t>(frameBytes), 3, 8);
    video_ = std::make_unique<VideoDecoder>(shared_, std::move(codec), *st, demuxer_.startOffset(),
        properties_.frameInterval, untimed_);
    return true;
}

CodecContextHandle FfmpegBackend::openAudioCodec(int index)
{
    auto known = std::find_if(audioStreams_.begin(), audioStreams_.end(),
        [index](const AudioStreamInfo& info) { return info.index == index; });
    if (known == audioStreams_.end())
        return nullptr;
    const AVStream* st = audioStreamObjects_[static_cast<size_t>(known - audioStreams_.begin())];
    const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
    if (!decoder) {
        platformLog("mmstream: no decoder for audio stream %d (%s)\n", index, avcodec_get_name(st->codecpar->codec_id));
        return nullptr;
    }
    CodecContextHandle codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), st->codecpar) < 0)
        return nullptr;
    codec->pkt_timebase = st->time_base;
    int rc = avcodec_open2(codec.get(), decoder, nullptr);
    if (rc < 0) {
        platformLog("mmstream: audio decoder %s cannot start (%s)\n", decoder->name, errorText(rc).c_str());
        return nullptr;
    }
    return codec;
}

bool FfmpegBackend::openAudio()
{
    AVFormatContext* fmt = &demuxer_.format();
    const AVCodec* decoder = nullptr;
    int index = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, videoIndex_, &decoder, 0);
    if (index < 0 || !decoder)
        return false;
    CodecContextHandle codec = openAudioCodec(index);
    if (!codec)
        return false;
    AVStream* st = fmt->streams[index];
    // The stream counts as present even when there is no device, so that the open succeeds.
    audioIndex_ = index;
    audio_ = AudioOutput::open(codec->sample_rate, codec->ch_layout.nb_channels,
        [this](int16_t* samples, int frames, int rate, int channels) { fillAudio(samples, frames, rate, channels); });
    if (!audio_)
        return false;
    // The decoder keeps its own copy of the device's format: the destructor takes audio_ down while
    // the decoder's thread may still run.
    audioDecoder_ = std::make_unique<AudioDecoder>(shared_, std::move(codec), *st, index, demuxer_.startOffset(),
        audio_->sampleRate(), audio_->channels());
    return true;
}

int FfmpegBackend::playedAudioStream() const
{
    std::lock_guard lock(shared_.mutex);
    return shared_.audioIndex;
}

int FfmpegBackend::soundChannels() const
{
    if (!audioDecoder_)
        return 0;
    const int played = playedAudioStream();
    for (size_t i = 0; i < audioStreams_.size(); ++i)
        if (audioStreams_[i].index == played)
            return audioStreamObjects_[i]->codecpar->ch_layout.nb_channels;
    return 0;
}

ChoiceError FfmpegBackend::selectAudioStream(int index)
{
    auto known = std::find_if(audioStreams_.begin(), audioStreams_.end(),
        [index](const AudioStreamInfo& info) { return info.index == index; });
    if (known == audioStreams_.end()) {
        platformLog("mmstream: %d is no audio stream of the movie\n", index);
        return ChoiceError::NotOfTheMovie;
    }
    if (!audioDecoder_) {
        platformLog("mmstream: no sound is played, audio stream %d is not chosen\n", index);
        return ChoiceError::NoSound;
    }
    const int played = playedAudioStream();
    if (index == played)
        return ChoiceError::None;
    CodecContextHandle codec = openAudioCodec(index);
    if (!codec) {
        platformLog("mmstream: audio stream %d cannot be decoded; stream %d plays on\n", index, played);
        return ChoiceError::Undecodable;
    }
    {
        std::lock_guard lock(shared_.mutex);
        AudioSwitch change;
        change.codec = std::move(codec);
        change.stream = audioStreamObjects_[static_cast<size_t>(known - audioStreams_.begin())];
        change.index = index;
        postAudioSwitch(shared_, std::move(change), audio_->sampleRate(), audio_->channels());
    }
    return ChoiceError::None;
}

void FfmpegBackend::startThreads()
{
    demuxThread_ = std::thread([this] { demuxer_.run(); });
    if (video_)
        videoThread_ = std::thread([this] { video_->run(); });
    if (audioDecoder_)
        audioThread_ = std::thread([this] { audioDecoder_->run(); });
}

void FfmpegBackend::seek(MediaTime target)
{
    if (target < MediaTime(0))
        target = MediaTime(0);
    if (properties_.duration > MediaTime(0) && target > properties_.duration)
        target = properties_.duration;
    SharedState& s = shared_;
    {
        std::lock_guard lock(s.mutex);
        ++s.generation;
        s.seekPending = true;
        s.seekTarget = target;
        s.demuxEnded = false;
        s.readEnd = target;
        s.video.packets.clear();
        s.audio.packets.clear();
        s.queuedPacketBytes = 0;
        s.frames.clear();
        s.videoEnded = false;
        s.lastFrameEnd = target;
        s.lastDelivered = target;
        s.positionShown = false;
        s.shownPreviousStart.reset();
        s.stepClockGuessed = false;
        s.audioChunks.clear();
        s.queuedAudio = MediaTime(0);
        s.audioEnded = false;
        s.audioBase = target;
        s.audioFramesOut = 0;
        s.audioPrimed = false;
        s.primingFrames = 0;
        const auto now = SteadyClock::now();
        s.clock.set(target, now);
        if (audio_ && !s.soundFollowsClock)
            s.clock.ticking = false;  // until the device plays the first sound of the new position
        holdForPicture(now);
    }
    s.demuxWake.notify_all();
    s.video.wake.notify_all();
    s.audio.wake.notify_all();
    s.frameWake.notify_all();
}

bool FfmpegBackend::stepFrame(bool forward)
{
    SharedState& s = shared_;
    MediaTime target {0};
    std::optional<MediaTime> guess;
    {
        std::unique_lock lock(s.mutex);
        if (!video_ || untimed_ || s.running || !s.positionShown)
            return false;
        if (forward) {
            // The next picture falls due at once, and the sound goes on from its start (what lies before is
            // dropped as late). The decoder has usually queued it already; a busy one gets a moment.
            s.frameWake.wait_for(lock, nextPictureWait, [&] { return s.quit || !s.frames.empty() || s.videoEnded; });
            if (s.frames.empty())
                return false;
            const MediaTime next = s.frames.front().start;
            if (next > s.lastDelivered) {
                s.clock.set(next, SteadyClock::now());
                s.audioBase = next;
                s.audioFramesOut = 0;
                s.stepClockGuessed = false;
                s.positionShown = false;  // until that picture is delivered
                return true;
            }
            // Time stamps that do not go forward: the seek shows the last picture stamped at the shown one's
            // time or before, which lies after it in the file.
            target = s.lastDelivered + MediaTime(1);
        } else {
            // The picture before starts where the decoder saw it start; when it did not see it (the shown
            // picture was the first after a seek), whatever shows just before the shown one starts. Either
            // way the decoder finds it from the keyframe before it, as at every seek.
            if (s.lastDelivered <= firstPictureStart_)
                return false;
            if (s.shownPreviousStart && *s.shownPreviousStart < s.lastDelivered) {
                target = *s.shownPreviousStart;
            } else {
                target = s.lastDelivered - MediaTime(1);
                // The time starts one nominal picture back, which is that picture's start when the
                // pictures are evenly spaced, and is put right when the picture comes.
                if (properties_.frameInterval > MediaTime(0))
                    guess = std::clamp(s.lastDelivered - properties_.frameInterval, firstPictureStart_, target);
            }
        }
        if (properties_.duration > MediaTime(0) && target > properties_.duration)
            return false;
    }
    // Through the seek, so that sound, clock and queues move together and nothing of the skipping
    // done while playing is left.
    seek(target);
    if (guess) {
        std::lock_guard lock(s.mutex);
        s.clock.set(*guess, SteadyClock::now());
        s.audioBase = *guess;
        s.stepClockGuessed = true;
    }
    return true;
}

void FfmpegBackend::takeCaptionTexts(std::vector<CaptionText>& texts)
{
    std::lock_guard lock(shared_.mutex);
    if (texts.empty()) {
        texts.swap(shared_.captionTexts);
    } else {
        std::move(shared_.captionTexts.begin(), shared_.captionTexts.end(), std::back_inserter(texts));
        shared_.captionTexts.clear();
    }
    shared_.queuedCaptionBytes = 0;
}

std::vector<CaptionStreamInfo> FfmpegBackend::captionStreams(std::vector<int>* decoded) const
{
    if (decoded)
        *decoded = decodedCaptions_;
    std::vector<CaptionStreamInfo> streams = captionStreams_;
    // Then the TV captions, which the video decoder may still find while the movie plays.
    std::lock_guard lock(shared_.mutex);
    streams.insert(streams.end(), shared_.tvCaptionStreams.begin(), shared_.tvCaptionStreams.end());
    return streams;
}

ChoiceError FfmpegBackend::selectCaptionStreams(const std::vector<int>& indexes)
{
    const std::vector<CaptionStreamInfo> known = captionStreams(nullptr);
    for (int index : indexes) {
        if (std::none_of(known.begin(), known.end(), [index](const CaptionStreamInfo& info) { return info.index == index; })) {
            platformLog("mmstream: %d is no caption stream of the movie\n", index);
            return ChoiceError::NotOfTheMovie;
        }
    }
    if (indexes == decodedCaptions_)
        return ChoiceError::None;
    // The TV captions go to the video decoder, which decodes them all the time: a stream chosen shows at
    // once what it shows now.
    std::vector<int> tv;
    std::vector<int> container;
    for (int index : indexes)
        (isTvCaptionStream(index) ? tv : container).push_back(index);
    std::vector<int> decodedContainer;
    for (int index : decodedCaptions_)
        if (!isTvCaptionStream(index))
            decodedContainer.push_back(index);
    decodedCaptions_ = indexes;
    std::lock_guard lock(shared_.mutex);
    if (shared_.tvCaptionSelection != tv) {
        shared_.tvCaptionSelection = tv;
        ++shared_.tvCaptionChanges;
    }
    if (container == decodedContainer)
        return ChoiceError::None;
    // A caption on the screen now may have started this long before.
    constexpr MediaTime captionLead = std::chrono::seconds(10);
    const MediaTime now = untimed_ ? shared_.lastDelivered : shared_.clock.at(SteadyClock::now());
    shared_.captionSelection = container;
    shared_.captionResyncTarget = std::max(now - captionLead, MediaTime(0));
    shared_.captionResync = true;
    shared_.demuxWake.notify_all();
    return ChoiceError::None;
}

void FfmpegBackend::takeCaptionPictures(std::vector<CaptionPictureHandle>& pictures)
{
    std::lock_guard lock(shared_.mutex);
    std::move(shared_.captionPictures.begin(), shared_.captionPictures.end(), std::back_inserter(pictures));
    shared_.captionPictures.clear();
    shared_.queuedPictureBytes = 0;
}

MediaTime FfmpegBackend::knownDuration() const
{
    std::lock_guard lock(shared_.mutex);
    if (shared_.knownEnd && *shared_.knownEnd < properties_.duration)
        return std::max(*shared_.knownEnd, MediaTime(0));
    return properties_.duration;
}

std::unique_ptr<MediaBackend> openFfmpegBackend(const std::string& path, const OpenOptions& options, OpenError& error)
{
    auto backend = std::make_unique<FfmpegBackend>();
    error = backend->open(path, options);
    if (error != OpenError::None)
        return nullptr;
    return backend;
}

BackendOpener setMediaBackendOpener(BackendOpener opener)
{
    BackendOpener previous = std::move(currentOpener());
    currentOpener() = std::move(opener);
    return previous;
}

BackendOpener mediaBackendOpener()
{
    if (currentOpener())
        return currentOpener();
    return &openFfmpegBackend;
}

}

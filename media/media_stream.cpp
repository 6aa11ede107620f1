#include "media/media_stream.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/text_cues.h"
#include "display/display.h"
#include "platform/com.h"
#include "platform/ddraw/ddraw.h"
#include "platform/gdi/gdi.h"
#include "platform/mmstream/mmstream.h"
#include "platform/mmstream/caption_streams.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace sublumen {

namespace {

uint32_t toMilliseconds(STREAM_TIME time)
{
    return static_cast<uint32_t>(time / 10000);
}

STREAM_TIME toStreamTime(uint32_t milliseconds)
{
    return static_cast<STREAM_TIME>(static_cast<uint64_t>(milliseconds) * 10000u);
}

}

MediaStream::MediaStream(Display* display, const char* path)
{
    directDraw = display ? display->directDraw : nullptr;
    if (directDraw)
        directDraw->AddRef();
    CoInitialize(nullptr);
    comHeld = true;
    lastResult = open(path);
}

int32_t MediaStream::open(const char* path)
{
    IAMMultiMediaStream* opening = nullptr;
    auto fail = [&](int32_t step) {
        if (opening)
            opening->Release();
        return step;
    };
    if (FAILED(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
            reinterpret_cast<void**>(&opening))))
        return fail(1);
    if (FAILED(opening->Initialize(STREAMTYPE_READ, 0, nullptr)))
        return fail(2);
    if (FAILED(opening->AddMediaStream(directDraw, &MSPID_PrimaryVideo, 0, nullptr)))
        return fail(3);
    if (FAILED(opening->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr)))
        return fail(4);
    // The path goes to the file system as the user's bytes: no conversion that could refuse a long
    // path or replace the bytes of a name in another code page.
    if (!path || !*path)
        return fail(5);
    if (FAILED(opening->OpenFileA(path, 0)))
        return fail(6);
    IGraphBuilder* graph = nullptr;
    if (SUCCEEDED(opening->GetFilterGraph(&graph)) && graph) {
        graph->SetDefaultSyncSource();
        graph->Release();
    }
    stream = opening;

    auto failOpen = [&](int32_t step) {
        stream->Release();
        stream = nullptr;
        return step;
    };
    IMediaStream* video = nullptr;
    if (FAILED(stream->GetMediaStream(MSPID_PrimaryVideo, &video)) || !video)
        return failOpen(7);
    IDirectDrawMediaStream* drawStream = nullptr;
    HRESULT hr = video->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&drawStream));
    video->Release();
    if (FAILED(hr) || !drawStream)
        return failOpen(8);
    hr = drawStream->CreateSample(nullptr, nullptr, 0, &sample);
    drawStream->Release();
    if (FAILED(hr) || !sample) {
        sample = nullptr;
        return failOpen(9);
    }
    platform::SampleTarget* target = nullptr;
    hr = sample->GetSurface(&target, &videoRect);
    // Frames are copied with DirectDraw blits, so the sample must decode into a DirectDraw surface.
    if (SUCCEEDED(hr) && target)
        surface = target->directDrawSurface();
    if (!surface) {
        if (target)
            target->sampleRelease();
        sample->Release();
        sample = nullptr;
        return failOpen(10);
    }

    STREAM_TIME length = 0;
    stream->GetDuration(&length);
    duration = length > 0 ? toMilliseconds(length) : 0;

    engine = platform::mediaEngineOf(stream);
    hasCaptionStreams = engine && (engine->captionStream().index >= 0 || !engine->captionStreams().empty());
    IMediaStream* audio = nullptr;
    if (SUCCEEDED(stream->GetMediaStream(MSPID_PrimaryAudio, &audio)) && audio) {
        playsSound = engine != nullptr;
        audio->Release();
    }
    return 0;
}

std::vector<AudioTrack> MediaStream::audioTracks(int32_t* heard) const
{
    if (heard)
        *heard = -1;
    std::vector<AudioTrack> tracks;
    if (!playsSound)
        return tracks;
    if (heard)
        *heard = engine->playedAudioStream();
    for (platform::AudioStreamInfo& info : engine->audioStreams())
        tracks.push_back({info.index, std::move(info.language), info.isDefault});
    return tracks;
}

int32_t MediaStream::heardAudio() const
{
    return playsSound ? engine->playedAudioStream() : -1;
}

bool MediaStream::selectAudio(int32_t index)
{
    return playsSound && engine->selectAudioStream(index) == platform::ChoiceError::None;
}

bool MediaStream::captionStreamName(char* buffer, size_t size) const
{
    if (!hasCaptionStreams || !buffer || size == 0)
        return false;
    const platform::CaptionStreamInfo info = engine->captionStream();
    const int32_t index = info.index;
    std::string language = info.language;
    if (index < 0)
        return false;
    std::snprintf(buffer, size, "%s", captionStreamLabel(index, std::move(language)).c_str());
    return true;
}

std::string captionStreamLabel(int32_t index, std::string language)
{
    // A tag is a short code; anything longer is cut rather than allowed to crowd the line.
    if (language.size() > 16)
        language.resize(16);
    return "[" + platform::captionStreamName(index) + (language.empty() ? "" : ", " + language) + "]";
}

std::shared_ptr<const platform::AuthoredStyle> MediaStream::captionStyle(int32_t index) const
{
    std::shared_ptr<const platform::AuthoredStyle> style;
    if (!hasCaptionStreams)
        return style;
    if (index < 0)
        return engine->captionStream().style;
    for (platform::CaptionStreamInfo& info : engine->captionStreams())
        if (info.index == index)
            style = std::move(info.style);
    return style;
}

void MediaStream::takeCaptionCues(std::vector<TextCue>& cues, std::vector<int32_t>* streams,
    std::vector<platform::CaptionText>* events)
{
    std::vector<platform::CaptionText> texts;
    if (!hasCaptionStreams)
        return;
    engine->takeCaptionTexts(texts);
    auto milliseconds = [](platform::MediaTime t) {
        int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(t).count();
        return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, endMarker - 1));
    };
    for (const platform::CaptionText& text : texts) {
        // A TV caption is plain text already (its braces and angle brackets are characters), and its
        // window's later captions of the same start replace it; so do a teletext page's.
        if (text.window >= 0)
            cues.push_back({ milliseconds(text.start), milliseconds(text.end),
                text.assLine ? plainCueText(text.text, true) : text.text, int64_t { text.stream } * 8 + text.window });
        else
            cues.push_back({ milliseconds(text.start), milliseconds(text.end), plainCueText(text.text, text.assLine) });
        if (streams)
            streams->push_back(text.stream);
    }
    if (events)
        *events = std::move(texts);
}

std::vector<CaptionStreamTrack> MediaStream::captionStreams(std::vector<int32_t>* decoded) const
{
    if (decoded)
        decoded->clear();
    std::vector<CaptionStreamTrack> tracks;
    if (!hasCaptionStreams)
        return tracks;
    std::vector<int> numbers;
    for (platform::CaptionStreamInfo& info : engine->captionStreams(&numbers))
        tracks.push_back({ info.index, std::move(info.language), info.picture });
    if (decoded)
        decoded->assign(numbers.begin(), numbers.end());
    return tracks;
}

bool MediaStream::selectCaptionStreams(const std::vector<int32_t>& indexes)
{
    const std::vector<int> numbers(indexes.begin(), indexes.end());
    return hasCaptionStreams && engine->selectCaptionStreams(numbers) == platform::ChoiceError::None;
}

bool MediaStream::captionStreamIsPicture() const
{
    return hasCaptionStreams && engine->captionStream().picture;
}

void MediaStream::takeCaptionPictures(std::vector<platform::CaptionPictureHandle>& pictures)
{
    if (hasCaptionStreams)
        engine->takeCaptionPictures(pictures);
}

MediaStream::~MediaStream()
{
    release();
}

void MediaStream::release()
{
    // The engine's threads end with the last hold on it, which is the stream's own below.
    engine.reset();
    hasCaptionStreams = false;
    playsSound = false;
    if (surface) {
        surface->Release();
        surface = nullptr;
    }
    if (sample) {
        sample->Release();
        sample = nullptr;
    }
    if (stream) {
        stream->Release();
        stream = nullptr;
    }
    if (comHeld) {
        CoUninitialize();
        comHeld = false;
    }
    if (directDraw) {
        directDraw->Release();
        directDraw = nullptr;
    }
}

int MediaStream::getState()
{
    if (!stream)
        return -1;
    STREAM_STATE state = STREAMSTATE_STOP;
    // A state that cannot be read counts as stopped, so Space sets the movie running.
    if (FAILED(stream->GetState(&state)))
        return 0;
    return state == STREAMSTATE_RUN ? 1 : 0;
}

int MediaStream::setRun(int mode)
{
    if (!stream)
        return -1;
    if (FAILED(stream->SetState(mode ? STREAMSTATE_RUN : STREAMSTATE_STOP)))
        return -2;
    ended = 0;
    return 0;
}

uint32_t MediaStream::currentTime()
{
    if (!stream)
        return static_cast<uint32_t>(-1);
    if (!sample)
        return static_cast<uint32_t>(-2);
    STREAM_TIME now = 0;
    if (stream->GetTime(&now) != S_OK)
        return static_cast<uint32_t>(-3);
    return toMilliseconds(now);
}

int MediaStream::seek(uint32_t milliseconds)
{
    if (!stream)
        return -1;
    if (!sample)
        return -2;
    debugLog("Seek=%d\n", static_cast<int>(milliseconds));
    ++seekCount;
    if (milliseconds == 0)
        milliseconds = 1;
    return stream->Seek(toStreamTime(milliseconds));
}

int MediaStream::stepFrame(int step)
{
    if (!stream)
        return -1;
    if (!sample)
        return -2;
    debugLog("FrameStep=%d\n", step);
    if (!engine || !engine->stepFrame(step > 0))
        return 1;
    // The position moved as by a seek.
    ++seekCount;
    return 0;
}

int MediaStream::setRate(double rate)
{
    if (!stream)
        return -1;
    debugLog("Speed=%.1f\n", rate);
    return engine && engine->setSpeed(rate) == platform::ChoiceError::None ? 0 : 1;
}

double MediaStream::rate() const
{
    return engine ? engine->speed() : 1.0;
}

int MediaStream::setSoundMode(platform::SoundMode mode)
{
    if (!stream)
        return -1;
    debugLog("SoundMode=%d Time=%u\n", static_cast<int>(mode), currentTime());
    return engine && engine->setSoundMode(mode) ? 0 : 1;
}

int MediaStream::soundChannels() const
{
    return engine ? engine->soundChannels() : 0;
}

int MediaStream::handleEnd(uint32_t before, uint32_t after)
{
    debugLog("MS_S_ENDOFSTREAM at %u/%u\n", after, duration);
    // A file that ends before the length it announced (cut short, even while it plays) ends where its
    // data ends: the stream then knows that shorter length, and the end there is the real one.
    uint32_t length = duration;
    STREAM_TIME known = 0;
    if (SUCCEEDED(stream->GetDuration(&known)))
        length = std::min(length, toMilliseconds(known));
    if (before < length && length - before > 1000) {
        // An end reported well before the movie's length is a decoding error: skip past it.
        debugLog(">> Error Detected : advance 0.5 sec to skip this.\n");
        seek(after + 500);
        return -2;
    }
    stream->SetState(STREAMSTATE_STOP);
    ended = 1;
    return -2;
}

int MediaStream::update()
{
    if (!stream)
        return -1;
    if (!sample)
        return -3;
    uint32_t before = currentTime();
    HRESULT result = sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0);
    uint32_t after = currentTime();
    // A clock that jumps (or steps back) by more than a minute in one frame is put back on track.
    if (after - before > 60000u)
        seek(before + 3000);
    lastResult = result;

    switch (result) {
    case S_OK:
        return 0;
    case MS_S_PENDING: {
        HRESULT status = sample->CompletionStatus(COMPSTAT_WAIT, 250);
        if (status == S_OK) {
            lastResult = 0;
            return 0;
        }
        if (status == MS_S_ENDOFSTREAM)
            return handleEnd(before, after);
        lastResult = status;
        debugLog("->Completion Status = 0x%x\n", static_cast<unsigned>(status));
        return 1;
    }
    case MS_S_ENDOFSTREAM:
        return handleEnd(before, after);
    case MS_E_BUSY: {
        debugLog("(1) MS_E_BUSY=0x%X\n", static_cast<unsigned>(MS_E_BUSY));
        HRESULT status = sample->CompletionStatus(COMPSTAT_WAIT, 250);
        if (status == S_OK) {
            debugLog("+MS_S_BUSY Cleared\n");
            lastResult = 0;
            return 0;
        }
        debugLog("(2) after 1/4 sec->0x%X\n", static_cast<unsigned>(status));
        if (status == MS_S_PENDING || status == MS_E_BUSY) {
            lastResult = status;
            return 2;
        }
        return status;
    }
    default: {
        int state = getState();
        stream->SetState(STREAMSTATE_STOP);
        stream->SetState(state == 1 ? STREAMSTATE_RUN : STREAMSTATE_STOP);
        return -3;
    }
    }
}

int MediaStream::blitFrame(DisplaySurface* target, int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight,
    int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight, int32_t flags)
{
    if (!stream)
        return -1;
    if (!target || !target->surface || !surface)
        return E_POINTER;
    if (flags & EnhanceImage) {
        HDC destination = target->getDC();
        HDC source = nullptr;
        if (FAILED(surface->GetDC(&source)))
            source = nullptr;
        SetStretchBltMode(destination, HALFTONE);
        int32_t y0 = srcY;
        int32_t h0 = srcHeight;
        if (flags & FlipVertical) {
            y0 = srcY + srcHeight;
            h0 = -srcHeight;
        }
        BOOL copied = StretchBlt(destination, dstX, dstY, dstWidth, dstHeight, source, srcX, y0, srcWidth, h0, SRCCOPY);
        if (source)
            surface->ReleaseDC(source);
        target->releaseDC(destination);
        return copied ? 0 : E_FAIL;
    }
    RECT sourceRect { srcX, srcY, srcX + srcWidth, srcY + srcHeight };
    RECT destinationRect { dstX, dstY, dstX + dstWidth, dstY + dstHeight };
    DDBLTFX effects {};
    effects.dwSize = sizeof effects;
    effects.dwDDFX = (flags & FlipVertical) ? DDBLTFX_MIRRORUPDOWN : 0;
    return target->surface->Blt(&destinationRect, surface, &sourceRect, DDBLT_WAIT | DDBLT_DDFX, &effects);
}

}

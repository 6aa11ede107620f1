// A movie file of any bytes, opened and played for a few pictures the way the player does it: the
// multimedia stream created through CoCreateInstance, both primary streams added, the file opened, a
// sample of the video stream made in memory and updated while stopped, after a seek and while running.
// The sound goes to SDL's dummy driver.
#include "fuzz_support.h"

#include "platform/com.h"
#include "platform/mmstream/mmstream.h"

#include <cstdlib>

namespace {

bool isOpenFailure(HRESULT hr)
{
    return hr == static_cast<HRESULT>(0x80070002u) || hr == static_cast<HRESULT>(0x80070005u)
        || hr == VFW_E_UNKNOWN_FILE_TYPE || hr == VFW_E_UNSUPPORTED_STREAM || hr == E_OUTOFMEMORY;
}

bool isUpdateAnswer(HRESULT hr)
{
    return hr == S_OK || hr == MS_S_PENDING || hr == MS_E_BUSY || hr == MS_S_ENDOFSTREAM;
}

void checkTimes(IDirectDrawStreamSample* sample)
{
    STREAM_TIME start = -1;
    STREAM_TIME end = -1;
    FUZZ_CHECK(sample->GetSampleTimes(&start, &end, nullptr) == S_OK);
    FUZZ_CHECK(end >= start);
}

// A synchronous update, as the player makes while stopped; S_OK carries a sensible presentation interval.
void update(IDirectDrawStreamSample* sample)
{
    HRESULT hr = sample->Update(0, nullptr, nullptr, 0);
    FUZZ_CHECK(isUpdateAnswer(hr));
    if (hr == MS_S_PENDING || hr == MS_E_BUSY) {
        // A pending update is dropped when aborted; after that the sample answers what it did.
        FUZZ_CHECK(sample->CompletionStatus(COMPSTAT_ABORT, 0) == MS_S_NOUPDATE);
        FUZZ_CHECK(sample->CompletionStatus(0, 0) == MS_S_NOUPDATE);
    }
    checkTimes(sample);
}

// An update that waits a few milliseconds at most, so that a running stream costs little time per input
// while its decoders go on behind it.
void briefUpdate(IDirectDrawStreamSample* sample)
{
    FUZZ_CHECK(sample->Update(SSUPDATE_ASYNC, nullptr, nullptr, 0) == MS_S_PENDING);
    HRESULT hr = sample->CompletionStatus(COMPSTAT_WAIT, 20);
    FUZZ_CHECK(isUpdateAnswer(hr));
    if (hr == MS_S_PENDING || hr == MS_E_BUSY)
        FUZZ_CHECK(sample->CompletionStatus(COMPSTAT_ABORT, 0) == MS_S_NOUPDATE);
    checkTimes(sample);
}

void playVideo(IAMMultiMediaStream* stream)
{
    IMediaStream* media = nullptr;
    if (stream->GetMediaStream(MSPID_PrimaryVideo, &media) != S_OK) {
        FUZZ_CHECK(media == nullptr);
        return;
    }
    IDirectDrawMediaStream* video = nullptr;
    FUZZ_CHECK(media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video)) == S_OK);
    media->Release();

    IDirectDrawStreamSample* sample = nullptr;
    HRESULT hr = video->CreateSample(nullptr, nullptr, 0, &sample);
    video->Release();
    if (hr != S_OK) {
        FUZZ_CHECK(hr == MS_E_SAMPLEALLOC && sample == nullptr);
        return;
    }
    platform::SampleTarget* target = nullptr;
    RECT rect {};
    FUZZ_CHECK(sample->GetSurface(&target, &rect) == S_OK);
    platform::Surface& pixels = target->samplePixels();
    FUZZ_CHECK(rect.left == 0 && rect.top == 0 && rect.right == pixels.width && rect.bottom == pixels.height);
    FUZZ_CHECK(pixels.pixels.size() == static_cast<size_t>(pixels.pitch) * static_cast<size_t>(pixels.height));
    target->sampleRelease();

    // The first picture while stopped, then the picture at the middle, then a little play.
    update(sample);
    STREAM_TIME duration = 0;
    stream->GetDuration(&duration);
    FUZZ_CHECK(stream->Seek(duration / 2) == S_OK);
    update(sample);
    FUZZ_CHECK(stream->SetState(STREAMSTATE_RUN) == S_OK);
    for (int i = 0; i < 3; ++i)
        briefUpdate(sample);
    FUZZ_CHECK(stream->SetState(STREAMSTATE_STOP) == S_OK);
    sample->Release();
}

// The captions of a text caption stream read so far: each shown for a while, its description sane.
void takeCaptions(IAMMultiMediaStream* stream)
{
    const std::shared_ptr<platform::MediaBackend> engine = platform::mediaEngineOf(stream);
    FUZZ_CHECK(engine != nullptr);
    if (engine->captionStream().index < 0 && engine->captionStreams().empty())
        return;
    FUZZ_CHECK(engine->captionStream().index >= 0);
    std::vector<platform::CaptionText> texts;
    engine->takeCaptionTexts(texts);
    for (const platform::CaptionText& text : texts)
        FUZZ_CHECK(text.end > text.start);
}

}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzing::prepareProcess();
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    CoInitialize(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzing::scratchFile("movie");
    fuzzing::writeInput(path, data, size);

    IAMMultiMediaStream* stream = nullptr;
    FUZZ_CHECK(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
                   reinterpret_cast<void**>(&stream))
        == S_OK);
    FUZZ_CHECK(stream->Initialize(STREAMTYPE_READ, 0, nullptr) == S_OK);
    FUZZ_CHECK(stream->AddMediaStream(nullptr, &MSPID_PrimaryVideo, 0, nullptr) == S_OK);
    FUZZ_CHECK(stream->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr) == S_OK);

    std::u16string widePath(path.begin(), path.end());  // the scratch path is ASCII
    HRESULT hr = stream->OpenFile(widePath.c_str(), 0);
    if (hr == S_OK) {
        STREAM_TIME duration = -1;
        HRESULT known = stream->GetDuration(&duration);
        FUZZ_CHECK((known == S_OK && duration > 0) || (known == S_FALSE && duration == 0));
        playVideo(stream);
        takeCaptions(stream);
    } else {
        FUZZ_CHECK(isOpenFailure(hr));
    }
    stream->Release();
    return 0;
}

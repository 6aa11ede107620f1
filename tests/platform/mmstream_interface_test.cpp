// The multimedia stream's calls and result codes, on a scripted engine.
#include "platform/com.h"
#include "platform/mmstream/mmstream.h"
#include "support/scripted_media_backend.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using platform::FrameOutcome;
using platform::MediaTime;
using testing_support::MediaScript;
using testing_support::ScriptedBackendScope;

namespace {

class MultiMediaStreamTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override
    {
        if (sample)
            sample->Release();
        if (target)
            target->sampleRelease();
        if (stream)
            stream->Release();
        CoUninitialize();
    }

    // Creates, initialises and adds both purposes the way a player does; opens when asked.
    HRESULT prepare(bool open = true)
    {
        HRESULT hr = CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
            reinterpret_cast<void**>(&stream));
        if (FAILED(hr))
            return hr;
        if (FAILED(hr = stream->Initialize(STREAMTYPE_READ, 0, nullptr)))
            return hr;
        if (FAILED(hr = stream->AddMediaStream(nullptr, &MSPID_PrimaryVideo, 0, nullptr)))
            return hr;
        if (FAILED(hr = stream->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr)))
            return hr;
        return open ? stream->OpenFile(u"movie.avi", 0) : S_OK;
    }

    // The sample of the primary video stream, as a player makes it.
    void makeSample()
    {
        IMediaStream* media = nullptr;
        ASSERT_EQ(stream->GetMediaStream(MSPID_PrimaryVideo, &media), S_OK);
        IDirectDrawMediaStream* video = nullptr;
        ASSERT_EQ(media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video)), S_OK);
        media->Release();
        ASSERT_EQ(video->CreateSample(nullptr, nullptr, 0, &sample), S_OK);
        video->Release();
        RECT rect {};
        ASSERT_EQ(sample->GetSurface(&target, &rect), S_OK);
        EXPECT_EQ(rect.right, script->properties.width);
        EXPECT_EQ(rect.bottom, script->properties.height);
    }

    std::shared_ptr<MediaScript> script = std::make_shared<MediaScript>();
    ScriptedBackendScope scope {script};
    IAMMultiMediaStream* stream = nullptr;
    IDirectDrawStreamSample* sample = nullptr;
    platform::SampleTarget* target = nullptr;
};

platform::FrameDelivery delivered(int64_t startMs)
{
    return {FrameOutcome::Delivered, std::chrono::milliseconds(startMs), std::chrono::milliseconds(startMs + 40)};
}

}

TEST_F(MultiMediaStreamTest, OpensThePathAsUtf8WithSoundWhenTheAudioRendererWasAdded)
{
    HRESULT hr = CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
        reinterpret_cast<void**>(&stream));
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(stream->Initialize(STREAMTYPE_READ, 0, nullptr), S_OK);
    ASSERT_EQ(stream->AddMediaStream(nullptr, &MSPID_PrimaryVideo, 0, nullptr), S_OK);
    ASSERT_EQ(stream->OpenFile(u"/films/\uC601\uD654.avi", 0), S_OK);
    EXPECT_EQ(script->openedPath, "/films/\xEC\x98\x81\xED\x99\x94.avi");
    EXPECT_FALSE(script->openOptions.playAudio);
    IMediaStream* audio = nullptr;
    EXPECT_EQ(stream->GetMediaStream(MSPID_PrimaryAudio, &audio), MS_E_NOSTREAM);
    EXPECT_EQ(audio, nullptr);
}

TEST_F(MultiMediaStreamTest, AnswersTimeDurationStateAndSeekInStreamUnits)
{
    ASSERT_EQ(prepare(), S_OK);
    EXPECT_TRUE(script->openOptions.playAudio);
    STREAM_TIME duration = 0;
    EXPECT_EQ(stream->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 1'200'000'000);

    script->time = 75'000ms;
    STREAM_TIME now = 0;
    EXPECT_EQ(stream->GetTime(&now), S_OK);
    EXPECT_EQ(now, 750'000'000);

    STREAM_STATE state = STREAMSTATE_RUN;
    EXPECT_EQ(stream->GetState(&state), S_OK);
    EXPECT_EQ(state, STREAMSTATE_STOP);
    EXPECT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
    EXPECT_EQ(stream->GetState(&state), S_OK);
    EXPECT_EQ(state, STREAMSTATE_RUN);
    EXPECT_EQ(stream->SetState(STREAMSTATE_STOP), S_OK);
    EXPECT_EQ(script->runCalls, 1);
    EXPECT_EQ(script->stopCalls, 1);
    EXPECT_EQ(stream->SetState(static_cast<STREAM_STATE>(7)), E_INVALIDARG);

    EXPECT_EQ(stream->Seek(130'000'000), S_OK);
    EXPECT_EQ(stream->Seek(-5), S_OK);
    ASSERT_EQ(script->seeks.size(), 2u);
    EXPECT_EQ(script->seeks[0], 13'000ms);
    EXPECT_EQ(script->seeks[1], MediaTime(0));
}

TEST_F(MultiMediaStreamTest, AnUnknownDurationIsZeroWithSFalse)
{
    script->properties.duration = MediaTime(0);
    ASSERT_EQ(prepare(), S_OK);
    STREAM_TIME duration = 5;
    EXPECT_EQ(stream->GetDuration(&duration), S_FALSE);
    EXPECT_EQ(duration, 0);
}

TEST_F(MultiMediaStreamTest, CallsBeforeOpeningAnswerNotInitialised)
{
    ASSERT_EQ(prepare(false), S_OK);
    STREAM_TIME t = 0;
    EXPECT_EQ(stream->GetTime(&t), MS_E_NOTINIT);
    EXPECT_EQ(stream->GetDuration(&t), MS_E_NOTINIT);
    EXPECT_EQ(stream->Seek(0), MS_E_NOTINIT);
    EXPECT_EQ(stream->SetState(STREAMSTATE_RUN), MS_E_NOTINIT);
    IMediaStream* media = nullptr;
    EXPECT_EQ(stream->GetMediaStream(MSPID_PrimaryVideo, &media), MS_E_NOSTREAM);
    STREAM_STATE state = STREAMSTATE_RUN;
    EXPECT_EQ(stream->GetState(&state), S_OK);
    EXPECT_EQ(state, STREAMSTATE_STOP);
}

TEST_F(MultiMediaStreamTest, RefusesMisuseOfSetUp)
{
    ASSERT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
                  reinterpret_cast<void**>(&stream)),
        S_OK);
    EXPECT_EQ(stream->AddMediaStream(nullptr, &MSPID_PrimaryVideo, 0, nullptr), MS_E_NOTINIT);
    EXPECT_EQ(stream->OpenFile(u"a.avi", 0), MS_E_NOTINIT);
    EXPECT_EQ(stream->Initialize(STREAMTYPE_WRITE, 0, nullptr), MS_E_INVALIDSTREAMTYPE);
    ASSERT_EQ(stream->Initialize(STREAMTYPE_READ, 0, nullptr), S_OK);
    EXPECT_EQ(stream->Initialize(STREAMTYPE_READ, 0, nullptr), MS_E_SOURCEALREADYDEFINED);
    const GUID other {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(stream->AddMediaStream(nullptr, &other, 0, nullptr), MS_E_PURPOSEID);
    EXPECT_EQ(stream->AddMediaStream(nullptr, nullptr, 0, nullptr), E_POINTER);
    EXPECT_EQ(stream->AddMediaStream(nullptr, &MSPID_PrimaryAudio, 0, nullptr), E_INVALIDARG);
    ASSERT_EQ(stream->AddMediaStream(nullptr, &MSPID_PrimaryVideo, 0, nullptr), S_OK);
    EXPECT_EQ(stream->AddMediaStream(nullptr, &MSPID_PrimaryVideo, 0, nullptr), MS_E_PURPOSEID);
    EXPECT_EQ(stream->OpenFile(nullptr, 0), E_POINTER);
    EXPECT_EQ(stream->OpenFile(u"", 0), E_INVALIDARG);
    const char16_t loneSurrogate[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(stream->OpenFile(loneSurrogate, 0), E_INVALIDARG);
    ASSERT_EQ(stream->OpenFile(u"a.avi", 0), S_OK);
    EXPECT_EQ(stream->OpenFile(u"b.avi", 0), MS_E_SOURCEALREADYDEFINED);
    EXPECT_EQ(stream->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr),
        MS_E_SOURCEALREADYDEFINED);
}

TEST(MultiMediaStreamFactory, CreatesOnlyItsClassInProcessAfterCoInitialize)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream, &object),
        CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    CoInitialize(nullptr);
    EXPECT_EQ(CoCreateInstance(MSPID_PrimaryVideo, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream, &object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, &object, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream, &object),
        CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectDrawMediaStream, &object),
        E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IMultiMediaStream, &object),
        S_OK);
    EXPECT_EQ(static_cast<IMultiMediaStream*>(object)->Release(), 0u);
    CoUninitialize();
}

struct OpenErrorCase {
    platform::OpenError error;
    HRESULT expected;
};

class OpenFileErrors : public ::testing::TestWithParam<OpenErrorCase> { };

TEST_P(OpenFileErrors, MapToThePublishedCodes)
{
    auto script = std::make_shared<MediaScript>();
    script->openError = GetParam().error;
    ScriptedBackendScope scope(script);
    CoInitialize(nullptr);
    IAMMultiMediaStream* stream = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
                  reinterpret_cast<void**>(&stream)),
        S_OK);
    ASSERT_EQ(stream->Initialize(STREAMTYPE_READ, 0, nullptr), S_OK);
    EXPECT_EQ(stream->OpenFile(u"x.avi", 0), GetParam().expected);
    // A failed open leaves the object usable for another file.
    script->openError = platform::OpenError::None;
    EXPECT_EQ(stream->OpenFile(u"y.avi", 0), S_OK);
    stream->Release();
    CoUninitialize();
}

INSTANTIATE_TEST_SUITE_P(Errors, OpenFileErrors,
    ::testing::Values(OpenErrorCase {platform::OpenError::FileNotFound, static_cast<HRESULT>(0x80070002u)},
        OpenErrorCase {platform::OpenError::AccessDenied, static_cast<HRESULT>(0x80070005u)},
        OpenErrorCase {platform::OpenError::UnknownFormat, VFW_E_UNKNOWN_FILE_TYPE},
        OpenErrorCase {platform::OpenError::NoPlayableStream, VFW_E_UNSUPPORTED_STREAM},
        OpenErrorCase {platform::OpenError::OutOfResources, E_OUTOFMEMORY}));

// Sound only: the video stream stays, showing the engine's black stand-in picture.
TEST_F(MultiMediaStreamTest, AFileWithoutPictureStillHasAVideoStream)
{
    script->properties.hasVideo = false;
    ASSERT_EQ(prepare(), S_OK);
    IMediaStream* media = nullptr;
    MSPID purpose {};
    STREAM_TYPE type = STREAMTYPE_WRITE;
    ASSERT_EQ(stream->GetMediaStream(MSPID_PrimaryVideo, &media), S_OK);
    EXPECT_EQ(media->GetInformation(&purpose, &type), S_OK);
    EXPECT_TRUE(platform::sameGuid(purpose, MSPID_PrimaryVideo));
    media->Release();
    ASSERT_EQ(stream->GetMediaStream(MSPID_PrimaryAudio, &media), S_OK);
    EXPECT_EQ(media->GetInformation(&purpose, &type), S_OK);
    EXPECT_TRUE(platform::sameGuid(purpose, MSPID_PrimaryAudio));
    EXPECT_EQ(type, STREAMTYPE_READ);
    media->Release();
}

TEST_F(MultiMediaStreamTest, TheFilterGraphTakesTheDefaultClock)
{
    ASSERT_EQ(prepare(), S_OK);
    IGraphBuilder* graph = nullptr;
    ASSERT_EQ(stream->GetFilterGraph(&graph), S_OK);
    EXPECT_EQ(graph->SetDefaultSyncSource(), S_OK);
    graph->Release();
}

TEST_F(MultiMediaStreamTest, UpdateAnswersByWhatTheEngineDelivers)
{
    ASSERT_EQ(prepare(), S_OK);
    makeSample();
    script->running = true;
    script->deliveries = {delivered(1000), {FrameOutcome::EndOfStream}, {FrameOutcome::NotDue},
        {FrameOutcome::DecoderBehind}};

    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(target->samplePixels().pixels[0], 0x5A);
    STREAM_TIME start = 0, end = 0;
    EXPECT_EQ(sample->GetSampleTimes(&start, &end, nullptr), S_OK);
    EXPECT_EQ(start, 10'000'000);
    EXPECT_EQ(end, 10'400'000);
    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), MS_S_ENDOFSTREAM);
    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), MS_S_PENDING);
    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), MS_E_BUSY);
    ASSERT_EQ(script->timeouts.size(), 4u);
    EXPECT_EQ(script->timeouts[0], 250ms);
}

TEST_F(MultiMediaStreamTest, CompletionStatusWaitsForThePendingUpdate)
{
    ASSERT_EQ(prepare(), S_OK);
    makeSample();
    script->running = true;
    script->deliveries = {{FrameOutcome::DecoderBehind}, delivered(40), {FrameOutcome::NotDue}, {FrameOutcome::NotDue},
        {FrameOutcome::EndOfStream}};

    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), MS_E_BUSY);
    EXPECT_EQ(sample->CompletionStatus(COMPSTAT_WAIT, 250), S_OK);
    EXPECT_EQ(script->timeouts.back(), 250ms);
    // Nothing pending: the last status, without asking the engine again.
    std::size_t asked = script->timeouts.size();
    EXPECT_EQ(sample->CompletionStatus(COMPSTAT_WAIT, 250), S_OK);
    EXPECT_EQ(script->timeouts.size(), asked);

    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), MS_S_PENDING);
    EXPECT_EQ(sample->CompletionStatus(COMPSTAT_WAIT, 100), MS_S_PENDING);
    EXPECT_EQ(script->timeouts.back(), 100ms);
    EXPECT_EQ(sample->CompletionStatus(COMPSTAT_WAIT, 250), MS_S_ENDOFSTREAM);
}

TEST_F(MultiMediaStreamTest, AsynchronousUpdatesAndAbort)
{
    ASSERT_EQ(prepare(), S_OK);
    makeSample();
    script->running = true;
    script->deliveries = {delivered(0)};
    EXPECT_EQ(sample->Update(SSUPDATE_ASYNC, nullptr, nullptr, 0), MS_S_PENDING);
    EXPECT_TRUE(script->timeouts.empty());
    EXPECT_EQ(sample->CompletionStatus(0, 0), S_OK);
    EXPECT_EQ(script->timeouts.back(), 0ms);

    EXPECT_EQ(sample->Update(SSUPDATE_ASYNC, nullptr, nullptr, 0), MS_S_PENDING);
    EXPECT_EQ(sample->CompletionStatus(COMPSTAT_ABORT, 0), MS_S_NOUPDATE);
    EXPECT_EQ(sample->CompletionStatus(COMPSTAT_WAIT, 0), MS_S_NOUPDATE);

    int event = 0;
    EXPECT_EQ(sample->Update(0, &event, nullptr, 0), E_INVALIDARG);
}

TEST_F(MultiMediaStreamTest, AStoppedStreamKeepsItsPictureAtFramePace)
{
    ASSERT_EQ(prepare(), S_OK);
    makeSample();
    script->running = false;
    script->deliveries = {delivered(5000), {FrameOutcome::NotDue}, {FrameOutcome::DecoderBehind}, delivered(5040),
        {FrameOutcome::DecoderBehind}, {FrameOutcome::DecoderBehind}, {FrameOutcome::EndOfStream}};
    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), S_OK);
    // A picture still being decoded after a seek gets the rest of the quarter second.
    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), MS_E_BUSY);
    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), MS_S_ENDOFSTREAM);
    // One frame of 40 ms, not the quarter second a running stream waits.
    std::vector<std::chrono::milliseconds> expected {40ms, 40ms, 40ms, 210ms, 40ms, 210ms, 40ms};
    EXPECT_EQ(script->timeouts, expected);
}

TEST_F(MultiMediaStreamTest, SamplesDecodeIntoTheDisplaysSurfaces)
{
    auto* factory = platform::MemorySampleTargetFactory::create(platform::PixelFormat::RGB565);
    ASSERT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
                  reinterpret_cast<void**>(&stream)),
        S_OK);
    ASSERT_EQ(stream->Initialize(STREAMTYPE_READ, 0, nullptr), S_OK);
    ASSERT_EQ(stream->AddMediaStream(factory, &MSPID_PrimaryVideo, 0, nullptr), S_OK);
    // The stream holds its own reference to the factory.
    EXPECT_EQ(factory->factoryRelease(), 1u);
    ASSERT_EQ(stream->OpenFile(u"a.avi", 0), S_OK);
    makeSample();
    EXPECT_EQ(target->samplePixels().format, platform::PixelFormat::RGB565);
    EXPECT_EQ(target->samplePixels().width, 64);
    EXPECT_EQ(target->directDrawSurface(), nullptr);

    // A surface of the caller's: the picture must fill it.
    IMediaStream* media = nullptr;
    ASSERT_EQ(stream->GetMediaStream(MSPID_PrimaryVideo, &media), S_OK);
    IDirectDrawMediaStream* video = nullptr;
    ASSERT_EQ(media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video)), S_OK);
    media->Release();
    platform::SampleTarget* own = factory->createSampleTarget(32, 16);
    ASSERT_NE(own, nullptr);
    IDirectDrawStreamSample* second = nullptr;
    RECT part {0, 0, 16, 16};
    EXPECT_EQ(video->CreateSample(own, &part, 0, &second), E_INVALIDARG);
    RECT whole {0, 0, 32, 16};
    ASSERT_EQ(video->CreateSample(own, &whole, 0, &second), S_OK);
    platform::SampleTarget* back = nullptr;
    RECT rect {};
    ASSERT_EQ(second->GetSurface(&back, &rect), S_OK);
    EXPECT_EQ(back, own);
    EXPECT_EQ(rect.right, 32);
    back->sampleRelease();
    second->Release();
    // Only the caller's reference is left.
    EXPECT_EQ(own->sampleRelease(), 0u);
    video->Release();
}

TEST_F(MultiMediaStreamTest, TheEngineLivesUntilTheLastSampleGoes)
{
    ASSERT_EQ(prepare(), S_OK);
    makeSample();
    stream->Release();
    stream = nullptr;
    EXPECT_FALSE(script->destroyed);
    script->running = true;
    script->deliveries = {delivered(80)};
    EXPECT_EQ(sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0), S_OK);
    sample->Release();
    sample = nullptr;
    // The surface lives on with the display; it does not hold the engine.
    EXPECT_TRUE(script->destroyed);
}

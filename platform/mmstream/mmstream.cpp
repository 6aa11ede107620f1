#include "platform/mmstream/mmstream.h"

#include "platform/com.h"
#include "platform/kernel.h"
#include "platform/mmstream/media_backend.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <new>
#include <string>

namespace platform {

bool sameGuid(const GUID& a, const GUID& b)
{
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3
        && std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

namespace {

constexpr GUID iidUnknown {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr HRESULT fileNotFound = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT accessDenied = static_cast<HRESULT>(0x80070005u);
// How long a synchronous update waits for a picture before it stays pending.
constexpr std::chrono::milliseconds updateWait {250};
// A stopped stream answers an update after about one frame's time, so a caller composing frames
// while paused does not spin.
constexpr std::chrono::milliseconds stoppedFrameMin {10};
constexpr std::chrono::milliseconds stoppedFrameMax {50};

// Reference counting shared by every object here; Interface is the most derived interface.
template<typename Interface>
class RefCounted : public Interface {
public:
    uint32_t AddRef() override { return ++references_; }
    uint32_t Release() override
    {
        uint32_t left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~RefCounted() = default;

private:
    uint32_t references_ = 1;
};

template<typename T>
HRESULT handOut(T* object, void** out)
{
    object->AddRef();
    *out = object;
    return S_OK;
}

// UTF-16 to the platform's narrow paths (UTF-8); false for text that is not valid UTF-16.
bool narrowPath(const char16_t* wide, std::string& out)
{
    std::size_t length = 0;
    while (wide[length])
        ++length;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
#else
    iconv_t cd = iconv_open("UTF-8", "UTF-16BE");
#endif
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string result(length * 3 + 1, '\0');
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(wide));
    std::size_t inLeft = length * sizeof(char16_t);
    char* outPtr = result.data();
    std::size_t outLeft = result.size();
    std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0)
        return false;
    result.resize(result.size() - outLeft);
    out = std::move(result);
    return true;
}

class AudioStream final : public RefCounted<IMediaStream> {
public:
    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (sameGuid(iid, IID_IMediaStream) || sameGuid(iid, iidUnknown))
            return handOut(static_cast<IMediaStream*>(this), object);
        return E_NOINTERFACE;
    }
    HRESULT GetInformation(MSPID* purposeId, STREAM_TYPE* type) override
    {
        if (purposeId)
            *purposeId = MSPID_PrimaryAudio;
        if (type)
            *type = STREAMTYPE_READ;
        return S_OK;
    }
};

class VideoSample final : public RefCounted<IDirectDrawStreamSample> {
public:
    VideoSample(std::shared_ptr<MediaBackend> backend, IMediaStream* stream, SampleTarget* target, RECT rect,
        MediaTime frameInterval)
        : backend_(std::move(backend))
        , stream_(stream)
        , target_(target)
        , rect_(rect)
        , stoppedWait_(std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(frameInterval), stoppedFrameMin,
              stoppedFrameMax))
    {
        stream_->AddRef();
        target_->sampleAddRef();
    }

    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (sameGuid(iid, IID_IDirectDrawStreamSample) || sameGuid(iid, IID_IStreamSample) || sameGuid(iid, iidUnknown))
            return handOut(static_cast<IDirectDrawStreamSample*>(this), object);
        return E_NOINTERFACE;
    }

    HRESULT GetMediaStream(IMediaStream** stream) override
    {
        if (!stream)
            return E_POINTER;
        stream_->AddRef();
        *stream = stream_;
        return S_OK;
    }

    HRESULT GetSampleTimes(STREAM_TIME* start, STREAM_TIME* end, STREAM_TIME* current) override
    {
        if (start)
            *start = start_.count();
        if (end)
            *end = end_.count();
        if (current)
            *current = backend_->time().count();
        return S_OK;
    }

    HRESULT Update(DWORD flags, void* event, void* apcFunction, uintptr_t) override
    {
        if (event || apcFunction)
            return E_INVALIDARG;
        pending_ = true;
        if (flags & SSUPDATE_ASYNC)
            return lastStatus_ = MS_S_PENDING;
        return perform(updateWait);
    }

    HRESULT CompletionStatus(DWORD flags, DWORD milliseconds) override
    {
        if (!pending_)
            return lastStatus_;
        if (flags & COMPSTAT_ABORT) {
            pending_ = false;
            return lastStatus_ = MS_S_NOUPDATE;
        }
        if (!(flags & COMPSTAT_WAIT))
            return perform(std::chrono::milliseconds(0));
        // "No limit" still returns now and then so that a stopped stream cannot hold the caller forever.
        auto wait = milliseconds == 0xFFFFFFFFu ? std::chrono::milliseconds(24 * 3600 * 1000)
                                                : std::chrono::milliseconds(milliseconds);
        return perform(wait);
    }

    HRESULT GetSurface(SampleTarget** surface, RECT* clip) override
    {
        if (surface) {
            target_->sampleAddRef();
            *surface = target_;
        }
        if (clip)
            *clip = rect_;
        return S_OK;
    }

private:
    ~VideoSample() override
    {
        target_->sampleRelease();
        stream_->Release();
    }

    HRESULT perform(std::chrono::milliseconds timeout)
    {
        bool running = backend_->running();
        FrameDelivery delivery;
        if (running) {
            delivery = backend_->deliverPicture(*target_, timeout);
        } else {
            // Stopped: the picture at the position stands, answered at frame pace; only a picture
            // still being decoded (after a seek) is worth the whole wait.
            delivery = backend_->deliverPicture(*target_, std::min(timeout, stoppedWait_));
            if (delivery.outcome == FrameOutcome::DecoderBehind && timeout > stoppedWait_)
                delivery = backend_->deliverPicture(*target_, timeout - stoppedWait_);
        }
        switch (delivery.outcome) {
        case FrameOutcome::Delivered:
            start_ = delivery.start;
            end_ = delivery.end;
            pending_ = false;
            return lastStatus_ = S_OK;
        case FrameOutcome::EndOfStream:
            pending_ = false;
            return lastStatus_ = MS_S_ENDOFSTREAM;
        case FrameOutcome::NotDue:
            if (!running) {
                // The picture at the held position is the one in the sample.
                pending_ = false;
                return lastStatus_ = S_OK;
            }
            return lastStatus_ = MS_S_PENDING;
        case FrameOutcome::DecoderBehind:
            return lastStatus_ = MS_E_BUSY;
        }
        return lastStatus_ = E_FAIL;
    }

    std::shared_ptr<MediaBackend> backend_;
    IMediaStream* stream_;
    SampleTarget* target_;
    RECT rect_;
    std::chrono::milliseconds stoppedWait_;
    bool pending_ = false;
    HRESULT lastStatus_ = S_OK;
    MediaTime start_ {0};
    MediaTime end_ {0};
};

class VideoStream final : public RefCounted<IDirectDrawMediaStream> {
public:
    VideoStream(std::shared_ptr<MediaBackend> backend, SampleTargetFactory* factory)
        : backend_(std::move(backend))
        , factory_(factory)
    {
        factory_->factoryAddRef();
    }

    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (sameGuid(iid, IID_IDirectDrawMediaStream) || sameGuid(iid, IID_IMediaStream) || sameGuid(iid, iidUnknown))
            return handOut(static_cast<IDirectDrawMediaStream*>(this), object);
        return E_NOINTERFACE;
    }

    HRESULT GetInformation(MSPID* purposeId, STREAM_TYPE* type) override
    {
        if (purposeId)
            *purposeId = MSPID_PrimaryVideo;
        if (type)
            *type = STREAMTYPE_READ;
        return S_OK;
    }

    HRESULT CreateSample(SampleTarget* surface, const RECT* rect, DWORD, IDirectDrawStreamSample** sample) override
    {
        if (!sample)
            return E_POINTER;
        *sample = nullptr;
        MediaProperties props = backend_->properties();
        SampleTarget* target = surface;
        if (target) {
            target->sampleAddRef();
        } else {
            target = factory_->createSampleTarget(props.width, props.height);
            if (!target)
                return MS_E_SAMPLEALLOC;
        }
        Surface& pixels = target->samplePixels();
        RECT whole {0, 0, pixels.width, pixels.height};
        if (rect && (rect->left != 0 || rect->top != 0 || rect->right != whole.right || rect->bottom != whole.bottom)) {
            target->sampleRelease();
            return E_INVALIDARG;
        }
        std::fill(pixels.pixels.begin(), pixels.pixels.end(), uint8_t {0});
        auto* created = new (std::nothrow) VideoSample(backend_, this, target, whole, props.frameInterval);
        target->sampleRelease();
        if (!created)
            return E_OUTOFMEMORY;
        *sample = created;
        return S_OK;
    }

    HRESULT GetTimePerFrame(STREAM_TIME* frameTime) override
    {
        if (!frameTime)
            return E_POINTER;
        *frameTime = backend_->properties().frameInterval.count();
        return S_OK;
    }

private:
    ~VideoStream() override { factory_->factoryRelease(); }

    std::shared_ptr<MediaBackend> backend_;
    SampleTargetFactory* factory_;
};

class FilterGraph final : public RefCounted<IGraphBuilder> {
public:
    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (sameGuid(iid, IID_IGraphBuilder) || sameGuid(iid, iidUnknown))
            return handOut(static_cast<IGraphBuilder*>(this), object);
        return E_NOINTERFACE;
    }
    HRESULT SetDefaultSyncSource() override { return S_OK; }
};

class MultiMediaStream final : public RefCounted<IAMMultiMediaStream> {
public:
    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (sameGuid(iid, IID_IAMMultiMediaStream) || sameGuid(iid, IID_IMultiMediaStream) || sameGuid(iid, iidUnknown))
            return handOut(static_cast<IAMMultiMediaStream*>(this), object);
        return E_NOINTERFACE;
    }

    HRESULT Initialize(STREAM_TYPE type, DWORD, IGraphBuilder* filterGraph) override
    {
        if (initialized_)
            return MS_E_SOURCEALREADYDEFINED;
        if (type != STREAMTYPE_READ)
            return MS_E_INVALIDSTREAMTYPE;
        if (filterGraph)
            return E_INVALIDARG;
        graph_ = new (std::nothrow) FilterGraph();
        if (!graph_)
            return E_OUTOFMEMORY;
        initialized_ = true;
        return S_OK;
    }

    HRESULT GetFilterGraph(IGraphBuilder** graph) override
    {
        if (!graph)
            return E_POINTER;
        *graph = nullptr;
        if (!graph_)
            return MS_E_NOTINIT;
        graph_->AddRef();
        *graph = graph_;
        return S_OK;
    }

    HRESULT AddMediaStream(SampleTargetFactory* streamObject, const MSPID* purposeId, DWORD flags,
        IMediaStream** newStream) override
    {
        if (newStream)
            *newStream = nullptr;
        if (!initialized_)
            return MS_E_NOTINIT;
        if (!purposeId)
            return E_POINTER;
        if (backend_)
            return MS_E_SOURCEALREADYDEFINED;
        if (sameGuid(*purposeId, MSPID_PrimaryVideo)) {
            if (videoWanted_)
                return MS_E_PURPOSEID;
            if (flags & AMMSF_ADDDEFAULTRENDERER)
                return E_INVALIDARG;
            if (streamObject) {
                streamObject->factoryAddRef();
                factory_ = streamObject;
            } else {
                factory_ = MemorySampleTargetFactory::create(PixelFormat::XRGB8888);
                if (!factory_)
                    return E_OUTOFMEMORY;
            }
            videoWanted_ = true;
            return S_OK;
        }
        if (sameGuid(*purposeId, MSPID_PrimaryAudio)) {
            if (audioWanted_)
                return MS_E_PURPOSEID;
            // Sound goes only to the default renderer; samples of it are not offered.
            if (streamObject || !(flags & AMMSF_ADDDEFAULTRENDERER))
                return E_INVALIDARG;
            audioWanted_ = true;
            return S_OK;
        }
        return MS_E_PURPOSEID;
    }

    HRESULT OpenFile(const char16_t* fileName, DWORD flags) override
    {
        std::string path;
        if (fileName && !narrowPath(fileName, path))
            path.clear();
        return OpenFileA(fileName ? path.c_str() : nullptr, flags);
    }

    HRESULT OpenFileA(const char* fileName, DWORD) override
    {
        if (!initialized_)
            return MS_E_NOTINIT;
        if (backend_)
            return MS_E_SOURCEALREADYDEFINED;
        if (!fileName)
            return E_POINTER;
        if (!*fileName)
            return E_INVALIDARG;
        // File names are bytes: they reach the engine exactly as given, whatever their encoding.
        std::string path(fileName);
        OpenOptions options;
        options.playAudio = audioWanted_;
        OpenError error = OpenError::None;
        std::unique_ptr<MediaBackend> opened = mediaBackendOpener()(path, options, error);
        if (!opened) {
            switch (error) {
            case OpenError::FileNotFound:
                return fileNotFound;
            case OpenError::AccessDenied:
                return accessDenied;
            case OpenError::UnknownFormat:
                return VFW_E_UNKNOWN_FILE_TYPE;
            case OpenError::NoPlayableStream:
                return VFW_E_UNSUPPORTED_STREAM;
            case OpenError::OutOfResources:
                return E_OUTOFMEMORY;
            case OpenError::None:
                break;
            }
            return E_FAIL;
        }
        backend_ = std::move(opened);
        MediaProperties props = backend_->properties();
        if (videoWanted_ && props.hasVideo)
            video_ = new (std::nothrow) VideoStream(backend_, factory_);
        if (audioWanted_ && props.hasAudio)
            audio_ = new (std::nothrow) AudioStream();
        return S_OK;
    }

    HRESULT GetMediaStream(const MSPID& purposeId, IMediaStream** stream) override
    {
        if (!stream)
            return E_POINTER;
        *stream = nullptr;
        IMediaStream* found = nullptr;
        if (sameGuid(purposeId, MSPID_PrimaryVideo))
            found = video_;
        else if (sameGuid(purposeId, MSPID_PrimaryAudio))
            found = audio_;
        if (!found)
            return MS_E_NOSTREAM;
        found->AddRef();
        *stream = found;
        return S_OK;
    }

    HRESULT GetState(STREAM_STATE* state) override
    {
        if (!state)
            return E_POINTER;
        *state = backend_ && backend_->running() ? STREAMSTATE_RUN : STREAMSTATE_STOP;
        return S_OK;
    }

    HRESULT SetState(STREAM_STATE state) override
    {
        if (!backend_)
            return MS_E_NOTINIT;
        if (state == STREAMSTATE_RUN)
            backend_->run();
        else if (state == STREAMSTATE_STOP)
            backend_->stop();
        else
            return E_INVALIDARG;
        return S_OK;
    }

    HRESULT GetTime(STREAM_TIME* time) override
    {
        if (!time)
            return E_POINTER;
        *time = 0;
        if (!backend_)
            return MS_E_NOTINIT;
        *time = backend_->time().count();
        return S_OK;
    }

    HRESULT GetDuration(STREAM_TIME* duration) override
    {
        if (!duration)
            return E_POINTER;
        *duration = 0;
        if (!backend_)
            return MS_E_NOTINIT;
        *duration = backend_->properties().duration.count();
        return *duration > 0 ? S_OK : S_FALSE;
    }

    HRESULT Seek(STREAM_TIME time) override
    {
        if (!backend_)
            return MS_E_NOTINIT;
        backend_->seek(MediaTime(std::max<STREAM_TIME>(time, 0)));
        return S_OK;
    }

private:
    ~MultiMediaStream() override
    {
        if (video_)
            video_->Release();
        if (audio_)
            audio_->Release();
        if (graph_)
            graph_->Release();
        if (factory_)
            factory_->factoryRelease();
    }

    bool initialized_ = false;
    bool videoWanted_ = false;
    bool audioWanted_ = false;
    SampleTargetFactory* factory_ = nullptr;
    FilterGraph* graph_ = nullptr;
    // Shared with the video stream and its samples, which may outlive this object.
    std::shared_ptr<MediaBackend> backend_;
    VideoStream* video_ = nullptr;
    AudioStream* audio_ = nullptr;
};

}

}

HRESULT CoCreateInstance(const GUID& clsid, void* outer, DWORD context, const GUID& iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (platform::comInitCount() <= 0)
        return CO_E_NOTINITIALIZED;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (!platform::sameGuid(clsid, CLSID_AMMultiMediaStream) || !(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    auto* stream = new (std::nothrow) platform::MultiMediaStream();
    if (!stream)
        return E_OUTOFMEMORY;
    HRESULT hr = stream->QueryInterface(iid, object);
    stream->Release();
    return hr;
}

#include "platform/mmstream/mmstream.h"

#include "platform/com.h"
#include "platform/kernel.h"
#include "platform/mmstream/media_backend.h"
#include "platform/mmstream/media_streams.h"
#include "platform/mmstream/stream_object.h"

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

constexpr HRESULT fileNotFound = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT accessDenied = static_cast<HRESULT>(0x80070005u);

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
        // A file with sound only still offers its video stream: a black picture (media_backend.h).
        if (videoWanted_)
            video_ = createVideoStream(backend_, factory_);
        if (audioWanted_ && props.hasAudio)
            audio_ = createAudioStream();
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
        *duration = backend_->knownDuration().count();
        return *duration > 0 ? S_OK : S_FALSE;
    }

    HRESULT Seek(STREAM_TIME time) override
    {
        if (!backend_)
            return MS_E_NOTINIT;
        backend_->seek(MediaTime(std::max<STREAM_TIME>(time, 0)));
        return S_OK;
    }

    std::shared_ptr<MediaBackend> engine() const { return backend_; }

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
    IDirectDrawMediaStream* video_ = nullptr;
    IMediaStream* audio_ = nullptr;
};

}

std::shared_ptr<MediaBackend> mediaEngineOf(IMultiMediaStream* stream)
{
    auto* object = dynamic_cast<MultiMediaStream*>(stream);
    return object ? object->engine() : nullptr;
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

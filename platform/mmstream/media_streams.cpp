#include "platform/mmstream/media_streams.h"

#include "platform/mmstream/stream_object.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace platform {

namespace {

// How long a synchronous update waits for a picture before it stays pending.
constexpr std::chrono::milliseconds updateWait {250};
// A stopped stream answers an update after about one frame's time, so a caller composing frames
// while paused does not spin.
constexpr std::chrono::milliseconds stoppedFrameMin {10};
constexpr std::chrono::milliseconds stoppedFrameMax {50};


// The primary audio stream: played on the device by the engine; it offers no samples.
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

}

IDirectDrawMediaStream* createVideoStream(std::shared_ptr<MediaBackend> backend, SampleTargetFactory* factory)
{
    return new (std::nothrow) VideoStream(std::move(backend), factory);
}

IMediaStream* createAudioStream()
{
    return new (std::nothrow) AudioStream();
}

}

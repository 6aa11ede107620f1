// Multimedia streaming: one movie file read as a multimedia stream with a primary video stream whose
// sample decodes frames into a surface, and a primary audio stream played on the default device. The
// interfaces keep the published names, identifiers and result codes; the engine behind them is
// platform::MediaBackend (FFmpeg, or a scripted engine in tests).
//
// Objects count references; every interface pointer handed out carries one reference for the caller.
// All calls come from one thread; the decoding runs on the engine's own threads.
#pragma once

#include "platform/mmstream/media_backend.h"
#include "platform/mmstream/sample_target.h"
#include "platform/win32.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using STREAM_TIME = int64_t;  // 100-nanosecond units
using MSPID = GUID;

enum STREAM_TYPE : int32_t { STREAMTYPE_READ = 0, STREAMTYPE_WRITE = 1, STREAMTYPE_TRANSFORM = 2 };
enum STREAM_STATE : int32_t { STREAMSTATE_STOP = 0, STREAMSTATE_RUN = 1 };

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD AMMSF_ADDDEFAULTRENDERER = 0x1;
constexpr DWORD SSUPDATE_ASYNC = 0x1;
constexpr DWORD SSUPDATE_CONTINUOUS = 0x2;
constexpr DWORD COMPSTAT_NOUPDATEOK = 0x1;
constexpr DWORD COMPSTAT_WAIT = 0x2;
constexpr DWORD COMPSTAT_ABORT = 0x4;

constexpr HRESULT MS_S_PENDING = 0x00040001;
constexpr HRESULT MS_S_NOUPDATE = 0x00040002;
constexpr HRESULT MS_S_ENDOFSTREAM = 0x00040003;
constexpr HRESULT MS_E_SAMPLEALLOC = static_cast<HRESULT>(0x80040401u);
constexpr HRESULT MS_E_PURPOSEID = static_cast<HRESULT>(0x80040402u);
constexpr HRESULT MS_E_NOSTREAM = static_cast<HRESULT>(0x80040403u);
constexpr HRESULT MS_E_NOSEEKING = static_cast<HRESULT>(0x80040404u);
constexpr HRESULT MS_E_INCOMPATIBLE = static_cast<HRESULT>(0x80040405u);
constexpr HRESULT MS_E_BUSY = static_cast<HRESULT>(0x80040406u);
constexpr HRESULT MS_E_NOTINIT = static_cast<HRESULT>(0x80040407u);
constexpr HRESULT MS_E_SOURCEALREADYDEFINED = static_cast<HRESULT>(0x80040408u);
constexpr HRESULT MS_E_INVALIDSTREAMTYPE = static_cast<HRESULT>(0x80040409u);
constexpr HRESULT MS_E_NOTRUNNING = static_cast<HRESULT>(0x8004040Au);
// What opening a file can answer besides the codes above.
constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = static_cast<HRESULT>(0x8004022Fu);
constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = static_cast<HRESULT>(0x80040240u);
constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = static_cast<HRESULT>(0x80040265u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);

inline constexpr GUID CLSID_AMMultiMediaStream {
    0x49C47CE5, 0x9BA4, 0x11D0, {0x82, 0x12, 0x00, 0xC0, 0x4F, 0xC3, 0x2C, 0x45}};
inline constexpr GUID IID_IAMMultiMediaStream {
    0xBEBE595C, 0x9A6F, 0x11D0, {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
inline constexpr GUID IID_IMultiMediaStream {
    0xB502D1BC, 0x9A57, 0x11D0, {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
inline constexpr GUID IID_IMediaStream {
    0xB502D1BD, 0x9A57, 0x11D0, {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
inline constexpr GUID IID_IStreamSample {
    0xB502D1BE, 0x9A57, 0x11D0, {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
inline constexpr GUID IID_IDirectDrawMediaStream {
    0xF4104FCE, 0x9A70, 0x11D0, {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
inline constexpr GUID IID_IDirectDrawStreamSample {
    0xF4104FCF, 0x9A70, 0x11D0, {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
inline constexpr GUID IID_IGraphBuilder {
    0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MSPID_PrimaryVideo {
    0xA35FF56A, 0x9FDA, 0x11D0, {0x8F, 0xDF, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
inline constexpr GUID MSPID_PrimaryAudio {
    0xA35FF56B, 0x9FDA, 0x11D0, {0x8F, 0xDF, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};

namespace platform {

bool sameGuid(const GUID& a, const GUID& b);

// The three calls every streaming object answers.
struct StreamUnknown {
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    ~StreamUnknown() = default;
};

}

struct IMediaStream;

struct IGraphBuilder : platform::StreamUnknown {
    // Makes the graph keep time by its default clock: the sound device when the movie has sound,
    // monotonic time otherwise. The stream runs on that clock from the start, so this confirms it.
    virtual HRESULT SetDefaultSyncSource() = 0;
};

struct IStreamSample : platform::StreamUnknown {
    virtual HRESULT GetMediaStream(IMediaStream** stream) = 0;
    // The presentation interval of the picture in the sample and the stream's current time; any
    // pointer may be null.
    virtual HRESULT GetSampleTimes(STREAM_TIME* start, STREAM_TIME* end, STREAM_TIME* current) = 0;
    // Fills the sample with the next picture that is due. Synchronous unless SSUPDATE_ASYNC: S_OK
    // when a picture arrived, MS_S_ENDOFSTREAM at the end, and when none arrived within a quarter
    // second MS_S_PENDING (the next picture is not due yet) or MS_E_BUSY (the decoder is behind); the
    // update then stays pending for CompletionStatus. A stopped stream keeps the picture at its
    // position: once it is in the sample, updates answer S_OK after about one frame's time. Events
    // and APC callbacks are not offered (E_INVALIDARG).
    virtual HRESULT Update(DWORD flags, void* event, void* apcFunction, uintptr_t apcData) = 0;
    // With COMPSTAT_WAIT, waits up to milliseconds (0xFFFFFFFF: no limit) for a pending update to
    // finish and answers as Update; COMPSTAT_ABORT drops it (MS_S_NOUPDATE). Without a pending update,
    // the status of the last one.
    virtual HRESULT CompletionStatus(DWORD flags, DWORD milliseconds) = 0;
};

struct IDirectDrawStreamSample : IStreamSample {
    // The surface the sample decodes into and the picture's rectangle within it.
    virtual HRESULT GetSurface(platform::SampleTarget** surface, RECT* clip) = 0;
};

struct IMediaStream : platform::StreamUnknown {
    virtual HRESULT GetInformation(MSPID* purposeId, STREAM_TYPE* type) = 0;
};

struct IDirectDrawMediaStream : IMediaStream {
    // A sample decoding into surface (the picture fills rect, which must be null or the whole
    // surface); with no surface, a new one of the picture's size is made by the stream's factory.
    // The surface is cleared to black.
    virtual HRESULT CreateSample(platform::SampleTarget* surface, const RECT* rect, DWORD flags,
        IDirectDrawStreamSample** sample)
        = 0;
    virtual HRESULT GetTimePerFrame(STREAM_TIME* frameTime) = 0;
};

struct IMultiMediaStream : platform::StreamUnknown {
    // MS_E_NOSTREAM when the file has no such stream or it was not added.
    virtual HRESULT GetMediaStream(const MSPID& purposeId, IMediaStream** stream) = 0;
    virtual HRESULT GetState(STREAM_STATE* state) = 0;
    // Run plays sound and clock from the current position; stop pauses them and keeps the position.
    virtual HRESULT SetState(STREAM_STATE state) = 0;
    virtual HRESULT GetTime(STREAM_TIME* time) = 0;
    // S_FALSE with 0 when the file tells no duration. Less than the file told once playback has met
    // the real end of a file that ends before it (cut short, even while it plays).
    virtual HRESULT GetDuration(STREAM_TIME* duration) = 0;
    // The next picture delivered is the one shown at time; sound follows from there.
    virtual HRESULT Seek(STREAM_TIME time) = 0;
};

struct IAMMultiMediaStream : IMultiMediaStream {
    // Only STREAMTYPE_READ with no filter graph of the caller's.
    virtual HRESULT Initialize(STREAM_TYPE type, DWORD flags, IGraphBuilder* filterGraph) = 0;
    virtual HRESULT GetFilterGraph(IGraphBuilder** graph) = 0;
    // MSPID_PrimaryVideo with the DirectDraw object that makes the sample surfaces (none: memory
    // surfaces in XRGB8888); MSPID_PrimaryAudio with no object and AMMSF_ADDDEFAULTRENDERER, which
    // plays the sound on the default device. Before OpenFile only.
    virtual HRESULT AddMediaStream(platform::SampleTargetFactory* streamObject, const MSPID* purposeId, DWORD flags,
        IMediaStream** newStream)
        = 0;
    // Opens a UTF-16 path. File errors: HRESULT_FROM_WIN32 of ERROR_FILE_NOT_FOUND (0x80070002) or
    // ERROR_ACCESS_DENIED (0x80070005); VFW_E_UNKNOWN_FILE_TYPE, VFW_E_UNSUPPORTED_STREAM.
    virtual HRESULT OpenFile(const char16_t* fileName, DWORD flags) = 0;
    // Opens a path given as bytes, handed to the engine unchanged (names that are not UTF-8 included);
    // answers as OpenFile does.
    virtual HRESULT OpenFileA(const char* fileName, DWORD flags) = 0;
};

namespace platform {

// The engine behind a multimedia stream object that has opened a file. What a movie offers beyond the
// streaming interfaces (its audio and caption streams, their captions, its speed, frame steps) is asked
// of it directly, in its own types. None before a file is open, and for an object of another kind.
std::shared_ptr<MediaBackend> mediaEngineOf(IMultiMediaStream* stream);

}

// Creates the multimedia stream object (CLSID_AMMultiMediaStream, in process, no aggregation); needs
// CoInitialize. The engine behind it comes from platform::mediaBackendOpener().
HRESULT CoCreateInstance(const GUID& clsid, void* outer, DWORD context, const GUID& iid, void** object);

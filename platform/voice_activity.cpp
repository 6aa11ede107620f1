#include "platform/voice_activity.h"

#include "platform/kernel.h"

#include <algorithm>
#include <cstdint>

// The detector's own functions. The package builds and exports them (the library's AudioProcessing runs
// its voice detection through them) but ships only AudioProcessing's header, whose per-frame copies and
// conversions cost half as much again as the detector itself: here they are declared as the detector's
// header declares them, and a library without them fails at the link.
extern "C" {
struct WebRtcVadInst;
WebRtcVadInst* WebRtcVad_Create();
void WebRtcVad_Free(WebRtcVadInst*);
int WebRtcVad_Init(WebRtcVadInst*);
int WebRtcVad_set_mode(WebRtcVadInst*, int);
int WebRtcVad_Process(WebRtcVadInst*, int, const int16_t*, size_t);
}

namespace platform {

namespace {

// How readily the detector hears speech, 0 (most) to 3 (least): music under a film's dialogue is taken for
// speech far less often at 2, and hardly a word is missed.
constexpr int aggressiveness = 2;

}

VoiceActivityDetector::VoiceActivityDetector()
{
    vad_ = WebRtcVad_Create();
    if (vad_ && (WebRtcVad_Init(vad_) != 0 || WebRtcVad_set_mode(vad_, aggressiveness) != 0)) {
        platformLog("voice activity: the detector cannot be set up\n");
        WebRtcVad_Free(vad_);
        vad_ = nullptr;
    }
}

VoiceActivityDetector::~VoiceActivityDetector()
{
    if (vad_)
        WebRtcVad_Free(vad_);
}

bool VoiceActivityDetector::speech(const float* frame)
{
    if (!vad_)
        return false;
    int16_t s[frameSamples];
    for (int i = 0; i < frameSamples; ++i)
        s[i] = static_cast<int16_t>(std::clamp(frame[i] * 32768.0f, -32768.0f, 32767.0f));
    return WebRtcVad_Process(vad_, sampleRate, s, frameSamples) == 1;
}

}

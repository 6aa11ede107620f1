// Whether someone speaks, 10 ms of sound at a time: WebRTC's voice activity detector as Debian packages
// it (libwebrtc-audio-processing), which only this file's source calls.
#pragma once

struct WebRtcVadInst;

namespace platform {

class VoiceActivityDetector {
public:
    // The sound it hears: one channel at sampleRate, in frames of frameSamples.
    static constexpr int sampleRate = 8000;
    static constexpr int frameSamples = sampleRate / 100;

    VoiceActivityDetector();
    ~VoiceActivityDetector();
    VoiceActivityDetector(const VoiceActivityDetector&) = delete;
    VoiceActivityDetector& operator=(const VoiceActivityDetector&) = delete;

    // False when the library could not be set up; nothing is heard then.
    bool ready() const { return vad_ != nullptr; }
    // Whether the frame (frameSamples samples within -1 and 1) holds speech. The detector follows the
    // sound's level from frame to frame, so frames are given in order.
    bool speech(const float* frame);

private:
    WebRtcVadInst* vad_ = nullptr;
};

}

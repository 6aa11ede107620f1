#include "platform/voice_activity.h"

#include "platform/kernel.h"

#include <webrtc/modules/audio_processing/include/audio_processing.h>

namespace platform {

VoiceActivityDetector::VoiceActivityDetector()
{
    processing_.reset(webrtc::AudioProcessing::Create());
    if (!processing_)
        return;
    webrtc::VoiceDetection* detection = processing_->voice_detection();
    // The least likely speech still counted: music under a film's dialogue is heard as speech far less.
    if (detection->Enable(true) != webrtc::AudioProcessing::kNoError
        || detection->set_likelihood(webrtc::VoiceDetection::kLowLikelihood) != webrtc::AudioProcessing::kNoError
        || detection->set_frame_size_ms(10) != webrtc::AudioProcessing::kNoError) {
        platformLog("voice activity: the detector cannot be set up\n");
        processing_.reset();
    }
}

VoiceActivityDetector::~VoiceActivityDetector() = default;

bool VoiceActivityDetector::speech(const float* frame)
{
    if (!processing_)
        return false;
    const webrtc::StreamConfig config(sampleRate, 1, false);
    float out[frameSamples];
    const float* in[] = { frame };
    float* outs[] = { out };
    if (processing_->ProcessStream(in, config, config, outs) != webrtc::AudioProcessing::kNoError)
        return false;
    return processing_->voice_detection()->stream_has_voice();
}

}

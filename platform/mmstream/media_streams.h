// The primary streams of a multimedia stream: the video stream with its samples, and the audio
// stream, which is played on the device and offers no samples.
#pragma once

#include "platform/mmstream/media_backend.h"
#include "platform/mmstream/mmstream.h"

#include <memory>

namespace platform {

// The video stream over backend, whose samples' surfaces come from factory (null when out of memory).
IDirectDrawMediaStream* createVideoStream(std::shared_ptr<MediaBackend> backend, SampleTargetFactory* factory);
// The audio stream (null when out of memory).
IMediaStream* createAudioStream();

}

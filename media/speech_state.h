// The speech group of the system record: captions spoken as they appear (media/caption_speech.cpp).
#pragma once

#include <memory>
#include <string>

namespace platform {
class SpeechService;
}

namespace sublumen {

class Caption;

struct SpeechServiceDeleter {
    void operator()(platform::SpeechService* service) const;
};

struct CaptionSpeechState {
    // The connection to the speech service, made when speaking is first wanted.
    std::unique_ptr<platform::SpeechService, SpeechServiceDeleter> service;
    // What the caption line showed at the last look, and of which track: a change to a caption that says
    // something is a caption that appeared.
    const Caption* track = nullptr;
    std::string shown;
    bool looked = false;
    // The status bar has said that there is no speech service; it says so once.
    bool unavailableTold = false;
};

}

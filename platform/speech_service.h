// Texts spoken by the desktop's speech service (speech-dispatcher, which screen readers use too), with the
// voices of its synthesiser. Its library starts the service when it is not running. All talk with the
// service happens on a worker thread of its own, so a slow or vanished service never holds up the player.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

class SpeechService {
public:
    SpeechService();
    // Cuts off what is being said and closes the connection.
    ~SpeechService();
    SpeechService(const SpeechService&) = delete;
    SpeechService& operator=(const SpeechService&) = delete;

    // Speaks text (UTF-8) in language (an ISO 639-1 code such as "ko" or "en"), cutting off what is being
    // said and anything asked before that has not been said yet.
    void say(std::string text, std::string language);
    // Cuts off what is being said.
    void cancel();
    // Reaches the service (starting it when it is not running) before anything is said, so that the first
    // text is not held up by the start.
    void prepare();

    enum class State {
        Unknown,      // nothing asked yet
        Ready,        // the service took the last text
        Unavailable,  // the service could not be reached or started, or went away
    };
    // What became of the last request.
    State state() const;

private:
    // What the player and the worker share. The worker holds it too: a worker stuck in a call to a service
    // that never answers is left behind at the end instead of holding up the player's exit.
    struct Worker;
    std::shared_ptr<Worker> worker_;
    std::thread thread_;
};

}

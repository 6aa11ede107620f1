// A whole media engine driven by a script, for the stream rules a real movie does not produce on
// demand: a decoder that stays busy, a frame that is not due, a clock that jumps.
#pragma once

#include "platform/mmstream/media_backend.h"

#include <algorithm>
#include <deque>
#include <string>
#include <memory>
#include <utility>
#include <vector>

namespace testing_support {

struct MediaScript {
    platform::MediaProperties properties {true, true, 64, 48, std::chrono::seconds(120), std::chrono::milliseconds(40)};
    platform::OpenError openError = platform::OpenError::None;
    // Answers of deliverFrame in order; afterDeliveries once they are used up.
    std::deque<platform::FrameDelivery> deliveries;
    platform::FrameDelivery afterDeliveries {platform::FrameOutcome::NotDue};
    // Paths that fail to open as missing files.
    std::vector<std::string> missingPaths;
    // Answers of time() in order; `time` once they are used up.
    std::deque<platform::MediaTime> times;
    platform::MediaTime time {0};
    bool running = false;
    // The movie's audio streams and the number of the one played (-1: no sound is played).
    std::vector<platform::AudioStreamInfo> audioStreams;
    int playedAudio = -1;

    // What the stream asked for.
    std::string openedPath;
    platform::OpenOptions openOptions;
    std::vector<platform::MediaTime> seeks;
    std::vector<std::chrono::milliseconds> timeouts;
    int runCalls = 0;
    int stopCalls = 0;
    bool destroyed = false;
};

class ScriptedMediaBackend final : public platform::MediaBackend {
public:
    explicit ScriptedMediaBackend(std::shared_ptr<MediaScript> script)
        : script_(std::move(script))
    {
    }
    ~ScriptedMediaBackend() override { script_->destroyed = true; }

    platform::MediaProperties properties() const override { return script_->properties; }
    void run() override
    {
        ++script_->runCalls;
        script_->running = true;
    }
    void stop() override
    {
        ++script_->stopCalls;
        script_->running = false;
    }
    bool running() const override { return script_->running; }
    std::vector<platform::AudioStreamInfo> audioStreams() const override { return script_->audioStreams; }
    int playedAudioStream() const override { return script_->playedAudio; }
    platform::MediaTime time() const override
    {
        if (script_->times.empty())
            return script_->time;
        platform::MediaTime t = script_->times.front();
        script_->times.pop_front();
        return t;
    }
    void seek(platform::MediaTime target) override
    {
        script_->seeks.push_back(target);
        script_->time = target;
    }
    platform::FrameDelivery deliverFrame(platform::Surface& target, std::chrono::milliseconds timeout) override
    {
        script_->timeouts.push_back(timeout);
        platform::FrameDelivery d = script_->afterDeliveries;
        if (!script_->deliveries.empty()) {
            d = script_->deliveries.front();
            script_->deliveries.pop_front();
        }
        if (d.outcome == platform::FrameOutcome::Delivered)
            std::fill(target.pixels.begin(), target.pixels.end(), static_cast<uint8_t>(0x5A));
        return d;
    }

private:
    std::shared_ptr<MediaScript> script_;
};

// Makes every stream opened while it lives run on the script.
class ScriptedBackendScope {
public:
    explicit ScriptedBackendScope(std::shared_ptr<MediaScript> script)
    {
        previous_ = platform::setMediaBackendOpener(
            [script](const std::string& path, const platform::OpenOptions& options,
                platform::OpenError& error) -> std::unique_ptr<platform::MediaBackend> {
                script->openedPath = path;
                script->openOptions = options;
                error = script->openError;
                if (std::find(script->missingPaths.begin(), script->missingPaths.end(), path) != script->missingPaths.end())
                    error = platform::OpenError::FileNotFound;
                if (error != platform::OpenError::None)
                    return nullptr;
                return std::make_unique<ScriptedMediaBackend>(script);
            });
    }
    ~ScriptedBackendScope() { platform::setMediaBackendOpener(std::move(previous_)); }
    ScriptedBackendScope(const ScriptedBackendScope&) = delete;
    ScriptedBackendScope& operator=(const ScriptedBackendScope&) = delete;

private:
    platform::BackendOpener previous_;
};

}

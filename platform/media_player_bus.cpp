#include "platform/media_player_bus.h"

#include "platform/kernel.h"
#include "platform/window/window.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

constexpr const char* objectPath = "/org/mpris/MediaPlayer2";
constexpr const char* rootInterface = "org.mpris.MediaPlayer2";
constexpr const char* playerInterface = "org.mpris.MediaPlayer2.Player";

// The bus belongs to the main thread. The watcher only polls the descriptor the main thread handed it
// and posts the window a message; it never touches the bus object.
struct PlayerBus {
    sd_bus* bus = nullptr;
    PlayerHandlers handlers;
    HWND window = nullptr;
    UINT message = 0;

    std::thread watcher;
    std::mutex mutex;
    std::condition_variable wake;
    int stopFd = -1;
    bool stopping = false;
    // What the watcher is to wait for next, handed over by servePlayerBus.
    bool armed = false;
    int fd = -1;
    short events = 0;
    int timeoutMs = -1;
};

PlayerBus* playerBus = nullptr;

PlayerStatus currentStatus()
{
    return playerBus && playerBus->handlers.status ? playerBus->handlers.status() : PlayerStatus {};
}

void watch(PlayerBus* state)
{
    for (;;) {
        pollfd fds[2] {};
        int timeoutMs = -1;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&] { return state->armed || state->stopping; });
            if (state->stopping)
                return;
            state->armed = false;
            fds[0] = pollfd { state->fd, state->events, 0 };
            timeoutMs = state->timeoutMs;
        }
        fds[1] = pollfd { state->stopFd, POLLIN, 0 };
        int ready = poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        postMessageFromThread(state->window, state->message, 0, 0);
    }
}

int command(sd_bus_message* call, PlayerCommand what, int64_t argument)
{
    if (playerBus && playerBus->handlers.command)
        playerBus->handlers.command(what, argument);
    return sd_bus_reply_method_return(call, "");
}

int onPlay(sd_bus_message* m, void*, sd_bus_error*) { return command(m, PlayerCommand::Play, 0); }
int onPause(sd_bus_message* m, void*, sd_bus_error*) { return command(m, PlayerCommand::Pause, 0); }
int onPlayPause(sd_bus_message* m, void*, sd_bus_error*) { return command(m, PlayerCommand::PlayPause, 0); }
int onStop(sd_bus_message* m, void*, sd_bus_error*) { return command(m, PlayerCommand::Stop, 0); }
int onNext(sd_bus_message* m, void*, sd_bus_error*) { return command(m, PlayerCommand::Next, 0); }
int onPrevious(sd_bus_message* m, void*, sd_bus_error*) { return command(m, PlayerCommand::Previous, 0); }
int onQuit(sd_bus_message* m, void*, sd_bus_error*) { return command(m, PlayerCommand::Quit, 0); }
int onRaise(sd_bus_message* m, void*, sd_bus_error*) { return sd_bus_reply_method_return(m, ""); }

int onSeek(sd_bus_message* m, void*, sd_bus_error*)
{
    int64_t offset = 0;
    int r = sd_bus_message_read(m, "x", &offset);
    if (r < 0)
        return r;
    return command(m, PlayerCommand::Seek, offset);
}

int onSetPosition(sd_bus_message* m, void*, sd_bus_error*)
{
    const char* track = nullptr;
    int64_t position = 0;
    int r = sd_bus_message_read(m, "ox", &track, &position);
    if (r < 0)
        return r;
    // A position for another movie than the current one is ignored, as callers may lag behind.
    if (!track || currentStatus().trackId != track)
        return sd_bus_reply_method_return(m, "");
    return command(m, PlayerCommand::SetPosition, position);
}

int onOpenUri(sd_bus_message* m, void*, sd_bus_error* error)
{
    const char* uri = nullptr;
    int r = sd_bus_message_read(m, "s", &uri);
    if (r < 0)
        return r;
    OpenResult result = OpenResult::Failed;
    if (playerBus && playerBus->handlers.openUri)
        result = playerBus->handlers.openUri(uri);
    switch (result) {
    case OpenResult::Opened:
        return sd_bus_reply_method_return(m, "");
    case OpenResult::NotAFileUri:
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "Only file:// addresses can be opened: %s", uri);
    case OpenResult::Failed:
        break;
    }
    return sd_bus_error_setf(error, SD_BUS_ERROR_FAILED, "Cannot open %s", uri);
}

int getTrue(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "b", 1);
}

int getFalse(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "b", 0);
}

int getHasMovie(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "b", currentStatus().hasMovie ? 1 : 0);
}

int getRate(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "d", currentStatus().rate);
}

int getMinimumRate(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "d", slowestPlayerRate);
}

int getMaximumRate(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "d", fastestPlayerRate);
}

int setRate(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void*, sd_bus_error* error)
{
    double rate = 0;
    int r = sd_bus_message_read(value, "d", &rate);
    if (r < 0)
        return r;
    if (playerBus && playerBus->handlers.setRate && !playerBus->handlers.setRate(rate))
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "No playback rate: %g", rate);
    return 0;
}

int getIdentity(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "s", "Sublumen");
}

int getDesktopEntry(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "s", "sublumen");
}

int getUriSchemes(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "as", 1, "file");
}

int getMimeTypes(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "as", 9, "video/x-msvideo", "video/x-ms-asf", "video/x-ms-wmv", "video/mp4",
        "video/x-matroska", "video/webm", "video/mpeg", "video/quicktime", "application/x-sublumen-list");
}

int getStatus(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "s", currentStatus().playbackStatus);
}

int getPosition(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "x", currentStatus().positionMicroseconds);
}

int getVolume(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "d", currentStatus().volume);
}

int setVolume(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void*, sd_bus_error*)
{
    double volume = 0;
    int r = sd_bus_message_read(value, "d", &volume);
    if (r < 0)
        return r;
    if (playerBus && playerBus->handlers.setVolume)
        playerBus->handlers.setVolume(volume);
    return 0;
}

int getMetadata(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    const PlayerStatus status = currentStatus();
    int r = sd_bus_message_open_container(reply, 'a', "{sv}");
    // With no movie the map stays empty, as a stopped player's does.
    if (r >= 0 && !status.trackId.empty()) {
        r = sd_bus_message_append(reply, "{sv}", "mpris:trackid", "o", status.trackId.c_str());
        if (r >= 0)
            r = sd_bus_message_append(reply, "{sv}", "mpris:length", "x", status.lengthMicroseconds);
        if (r >= 0)
            r = sd_bus_message_append(reply, "{sv}", "xesam:title", "s", status.title.c_str());
        if (r >= 0)
            r = sd_bus_message_append(reply, "{sv}", "xesam:url", "s", status.url.c_str());
        if (r >= 0 && !status.caption.empty())
            r = sd_bus_message_append(reply, "{sv}", "sublumen:caption", "s", status.caption.c_str());
        if (r >= 0 && !status.audio.empty())
            r = sd_bus_message_append(reply, "{sv}", "sublumen:audio", "s", status.audio.c_str());
    }
    if (r >= 0)
        r = sd_bus_message_close_container(reply);
    return r;
}

constexpr auto emits = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;
constexpr auto constant = SD_BUS_VTABLE_PROPERTY_CONST;

const sd_bus_vtable rootVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", onRaise, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Quit", "", "", onQuit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("CanQuit", "b", getTrue, 0, constant),
    SD_BUS_PROPERTY("CanRaise", "b", getFalse, 0, constant),
    SD_BUS_PROPERTY("HasTrackList", "b", getFalse, 0, constant),
    SD_BUS_PROPERTY("Identity", "s", getIdentity, 0, constant),
    SD_BUS_PROPERTY("DesktopEntry", "s", getDesktopEntry, 0, constant),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", getUriSchemes, 0, constant),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", getMimeTypes, 0, constant),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable playerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_METHOD("Next", "", "", onNext, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Previous", "", "", onPrevious, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Pause", "", "", onPause, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("PlayPause", "", "", onPlayPause, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Stop", "", "", onStop, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Play", "", "", onPlay, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Seek", "x", "", onSeek, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetPosition", "ox", "", onSetPosition, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenUri", "s", "", onOpenUri, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("PlaybackStatus", "s", getStatus, 0, emits),
    SD_BUS_WRITABLE_PROPERTY("Rate", "d", getRate, setRate, 0, emits),
    SD_BUS_PROPERTY("MinimumRate", "d", getMinimumRate, 0, constant),
    SD_BUS_PROPERTY("MaximumRate", "d", getMaximumRate, 0, constant),
    SD_BUS_PROPERTY("Metadata", "a{sv}", getMetadata, 0, emits),
    SD_BUS_WRITABLE_PROPERTY("Volume", "d", getVolume, setVolume, 0, emits),
    SD_BUS_PROPERTY("Position", "x", getPosition, 0, 0),
    SD_BUS_PROPERTY("CanGoNext", "b", getTrue, 0, constant),
    SD_BUS_PROPERTY("CanGoPrevious", "b", getTrue, 0, constant),
    SD_BUS_PROPERTY("CanPlay", "b", getHasMovie, 0, emits),
    SD_BUS_PROPERTY("CanPause", "b", getHasMovie, 0, emits),
    SD_BUS_PROPERTY("CanSeek", "b", getHasMovie, 0, emits),
    SD_BUS_PROPERTY("CanControl", "b", getTrue, 0, constant),
    SD_BUS_VTABLE_END,
};

}

bool openPlayerBus(const char* name, HWND window, UINT message, PlayerHandlers handlers)
{
    if (playerBus)
        return true;
    sd_bus* bus = nullptr;
    int r = sd_bus_open_user(&bus);
    if (r < 0) {
        platformLog("MPRIS: no session bus (%s); media keys are not served\n", std::strerror(-r));
        return false;
    }
    auto state = std::make_unique<PlayerBus>();
    state->bus = bus;
    state->handlers = std::move(handlers);
    state->window = window;
    state->message = message;
    std::string busName = std::string("org.mpris.MediaPlayer2.") + name;
    r = sd_bus_add_object_vtable(bus, nullptr, objectPath, rootInterface, rootVtable, nullptr);
    if (r >= 0)
        r = sd_bus_add_object_vtable(bus, nullptr, objectPath, playerInterface, playerVtable, nullptr);
    if (r >= 0) {
        r = sd_bus_request_name(bus, busName.c_str(), 0);
        // A second player takes a name of its own, as the bus's players do.
        if (r == -EEXIST) {
            busName += ".instance" + std::to_string(getpid());
            r = sd_bus_request_name(bus, busName.c_str(), 0);
        }
    }
    state->stopFd = r >= 0 ? eventfd(0, EFD_CLOEXEC) : -1;
    if (r < 0 || state->stopFd < 0) {
        platformLog("MPRIS: cannot publish %s (%s); media keys are not served\n", busName.c_str(),
            std::strerror(r < 0 ? -r : errno));
        sd_bus_flush_close_unref(bus);
        return false;
    }
    platformLog("MPRIS: %s\n", busName.c_str());
    playerBus = state.release();
    playerBus->watcher = std::thread(watch, playerBus);
    servePlayerBus();
    return true;
}

void servePlayerBus()
{
    PlayerBus* state = playerBus;
    if (!state)
        return;
    int r = 0;
    while ((r = sd_bus_process(state->bus, nullptr)) > 0) { }
    if (r < 0)
        platformLog("MPRIS: bus failed (%s)\n", std::strerror(-r));
    int fd = sd_bus_get_fd(state->bus);
    int events = sd_bus_get_events(state->bus);
    uint64_t until = 0;
    int timeoutMs = -1;
    if (sd_bus_get_timeout(state->bus, &until) >= 0 && until != UINT64_MAX) {
        timespec now {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        uint64_t nowUs = static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
        timeoutMs = until > nowUs ? static_cast<int>((until - nowUs + 999) / 1000) : 0;
    }
    if (r < 0 || fd < 0 || events < 0)
        return;
    {
        std::lock_guard lock(state->mutex);
        state->fd = fd;
        state->events = static_cast<short>(events);
        state->timeoutMs = timeoutMs;
        state->armed = true;
    }
    state->wake.notify_one();
}

void announcePlayerChange()
{
    if (!playerBus)
        return;
    sd_bus_emit_properties_changed(playerBus->bus, objectPath, playerInterface, "PlaybackStatus", "Metadata",
        "CanPlay", "CanPause", "CanSeek", "Rate", nullptr);
    sd_bus_flush(playerBus->bus);
}

void announcePlayerSeek(int64_t positionMicroseconds)
{
    if (!playerBus)
        return;
    sd_bus_emit_signal(playerBus->bus, objectPath, playerInterface, "Seeked", "x", positionMicroseconds);
    sd_bus_flush(playerBus->bus);
}

void closePlayerBus()
{
    PlayerBus* state = playerBus;
    if (!state)
        return;
    {
        std::lock_guard lock(state->mutex);
        state->stopping = true;
    }
    state->wake.notify_one();
    uint64_t one = 1;
    if (write(state->stopFd, &one, sizeof one) < 0) { }
    state->watcher.join();
    close(state->stopFd);
    sd_bus_flush_close_unref(state->bus);
    playerBus = nullptr;
    delete state;
}

}

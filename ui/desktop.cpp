#include "ui/desktop.h"

#include "app/system.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "platform/media_player_bus.h"
#include "platform/power.h"
#include "platform/window/window.h"
#include "ui/keyboard_commands.h"
#include "ui/volume.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

namespace sublumen {

namespace {

constexpr const char* noCaptionMarker = "없음";

bool moviePlays(const System& sys)
{
    const MediaStream* stream = sys.movie.currentStream.get();
    return stream && stream->stream && sys.playback.isPlaying != 0 && !stream->ended;
}

const char* playbackStatus(const System& sys)
{
    if (!sys.movie.currentStream)
        return "Stopped";
    return moviePlays(sys) ? "Playing" : "Paused";
}

std::string trackIdOf(const MovieItem& item)
{
    // Stable for one entry and distinct between entries; an object path allows only [A-Za-z0-9_].
    char id[64];
    std::snprintf(id, sizeof id, "/org/sublumen/movie/m%016zx",
        std::hash<std::string> {}(std::string(item.title) + '\n' + item.movie));
    return id;
}

platform::PlayerStatus statusOf(System& sys)
{
    platform::PlayerStatus status;
    status.playbackStatus = playbackStatus(sys);
    status.volume = sys.commands.volume / 255.0;
    MediaStream* stream = sys.movie.currentStream.get();
    if (!stream)
        return status;
    const MovieItem& item = sys.movie.currentItem;
    status.positionMicroseconds = static_cast<int64_t>(stream->currentTime()) * 1000;
    status.lengthMicroseconds = static_cast<int64_t>(sys.movie.movieDuration) * 1000;
    status.trackId = trackIdOf(item);
    if (item.title[0]) {
        status.title = shownTitle(item);
    } else {
        const char* slash = std::strrchr(item.movie, '/');
        status.title = slash ? slash + 1 : item.movie;
    }
    status.url = fileUrl(item.movie);
    if (std::strcmp(item.caption, noCaptionMarker) != 0)
        status.caption = item.caption;
    return status;
}

void seekWithin(System& sys, int64_t targetMs)
{
    targetMs = std::clamp<int64_t>(targetMs, 0, sys.movie.movieDuration);
    seekMovie(sys, static_cast<uint32_t>(targetMs));
}

// Each call does what its key does; a call that makes no sense in the present state does nothing.
void runCommand(System& sys, platform::PlayerCommand command, int64_t argument)
{
    using platform::PlayerCommand;
    MediaStream* stream = sys.movie.currentStream.get();
    switch (command) {
    case PlayerCommand::PlayPause:
        onKeyDown(sys, VK_SPACE);
        break;
    case PlayerCommand::Play:
        if (stream && sys.playback.isPlaying == 0)
            onKeyDown(sys, VK_SPACE);
        break;
    case PlayerCommand::Pause:
        if (stream && sys.playback.isPlaying != 0)
            onKeyDown(sys, VK_SPACE);
        break;
    case PlayerCommand::Stop:
        if (stream && sys.playback.isPlaying != 0)
            onKeyDown(sys, VK_SPACE);
        onKeyDown(sys, VK_HOME);
        break;
    case PlayerCommand::Next:
        onKeyDown(sys, VK_OEM_PERIOD);
        break;
    case PlayerCommand::Previous:
        onKeyDown(sys, VK_OEM_COMMA);
        break;
    case PlayerCommand::Seek:
        if (stream)
            seekWithin(sys, static_cast<int64_t>(stream->currentTime()) + argument / 1000);
        break;
    case PlayerCommand::SetPosition:
        // A position past the end is ignored, as the bus's players do.
        if (stream && argument >= 0 && argument / 1000 <= sys.movie.movieDuration)
            seekWithin(sys, argument / 1000);
        break;
    case PlayerCommand::Quit:
        // Closing the window the normal way saves the settings.
        if (sys.window.mainWindow)
            PostMessageA(sys.window.mainWindow, WM_CLOSE, 0, 0);
        break;
    }
}

struct Announced {
    std::string playbackStatus;
    std::string trackId;
};
Announced announced;

}

std::string fileUrl(const char* path)
{
    std::string url = "file://";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p; ++p) {
        if (std::isalnum(*p) || std::strchr("/-._~", *p)) {
            url += static_cast<char>(*p);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", *p);
            url += escaped;
        }
    }
    return url;
}

void openDesktopControls(System& sys)
{
    platform::PlayerHandlers handlers;
    handlers.command = [&sys](platform::PlayerCommand command, int64_t argument) { runCommand(sys, command, argument); };
    handlers.status = [&sys] { return statusOf(sys); };
    handlers.setVolume = [&sys](double level) {
        sys.commands.volume = static_cast<int32_t>(std::lround(std::clamp(level, 0.0, 1.0) * 255));
        writeVolume(sys);
    };
    announced = Announced {};
    platform::openPlayerBus("sublumen", sys.window.mainWindow, WM_DESKTOPCALLS, std::move(handlers));
}

void serveDesktopControls(System&)
{
    platform::servePlayerBus();
}

void noteDesktopState(System& sys)
{
    const bool plays = moviePlays(sys);
    SetThreadExecutionState(plays ? ES_CONTINUOUS | ES_DISPLAY_REQUIRED : ES_CONTINUOUS);
    const char* status = playbackStatus(sys);
    std::string track = sys.movie.currentStream ? trackIdOf(sys.movie.currentItem) : std::string();
    if (announced.playbackStatus != status || announced.trackId != track) {
        announced.playbackStatus = status;
        announced.trackId = std::move(track);
        platform::announcePlayerChange();
    }
}

void closeDesktopControls(System&)
{
    platform::closePlayerBus();
}

}

#include "ui/desktop.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "media/audio_choice.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "media/opened_files.h"
#include "media/playback_speed.h"
#include "platform/hex_digit.h"
#include "platform/media_player_bus.h"
#include "platform/power.h"
#include "platform/window/window.h"
#include "ui/commands.h"
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

// A stream object that failed to open holds no movie: there is nothing to play, pause or seek.
const MediaStream* openMovie(const System& sys)
{
    const MediaStream* stream = sys.movie.currentStream.get();
    return stream && stream->stream ? stream : nullptr;
}

const char* playbackStatus(const System& sys)
{
    if (!openMovie(sys))
        return "Stopped";
    return moviePlays(sys) ? "Playing" : "Paused";
}

// The stream's time in microseconds; its error answers (-1 to -3 as unsigned) read as 0.
int64_t positionOf(MediaStream& stream)
{
    const uint32_t ms = stream.currentTime();
    return ms >= static_cast<uint32_t>(-3) ? 0 : static_cast<int64_t>(ms) * 1000;
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
    status.rate = sys.playback.speed;
    MediaStream* stream = sys.movie.currentStream.get();
    if (!openMovie(sys))
        return status;
    status.hasMovie = true;
    const MovieItem& item = sys.movie.currentItem;
    status.positionMicroseconds = positionOf(*stream);
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
    char audio[64];
    static constexpr char prefix[] = "음성:";
    if (audioLine(sys, audio, sizeof audio) && std::strncmp(audio, prefix, sizeof prefix - 1) == 0)
        status.audio = audio + sizeof prefix - 1;
    return status;
}

const char* commandName(platform::PlayerCommand command)
{
    using platform::PlayerCommand;
    switch (command) {
    case PlayerCommand::Play: return "Play";
    case PlayerCommand::Pause: return "Pause";
    case PlayerCommand::PlayPause: return "PlayPause";
    case PlayerCommand::Stop: return "Stop";
    case PlayerCommand::Next: return "Next";
    case PlayerCommand::Previous: return "Previous";
    case PlayerCommand::Seek: return "Seek";
    case PlayerCommand::SetPosition: return "SetPosition";
    case PlayerCommand::Quit: return "Quit";
    }
    return "?";
}

// Each call runs its row of the command table, logged as the desktop's command; a call that makes no
// sense in the present state does nothing.
void runDesktopCommand(System& sys, platform::PlayerCommand command, int64_t argument)
{
    using platform::PlayerCommand;
    if (command == PlayerCommand::Seek || command == PlayerCommand::SetPosition)
        debugLog("DesktopCommand=%s %lld\n", commandName(command), static_cast<long long>(argument));
    else
        debugLog("DesktopCommand=%s\n", commandName(command));
    // The bus speaks microseconds; a position before the start stays outside the movie.
    const int64_t ms = argument < 0 && command == PlayerCommand::SetPosition ? -1 : argument / 1000;
    switch (command) {
    case PlayerCommand::PlayPause: return runCommand(sys, Command::TogglePause);
    case PlayerCommand::Play: return runCommand(sys, Command::Play);
    case PlayerCommand::Pause: return runCommand(sys, Command::Pause);
    case PlayerCommand::Stop: return runCommand(sys, Command::Stop);
    case PlayerCommand::Next: return runCommand(sys, Command::Next);
    case PlayerCommand::Previous: return runCommand(sys, Command::Previous);
    case PlayerCommand::Seek: return runCommand(sys, Command::SeekBy, { .value = ms });
    case PlayerCommand::SetPosition: return runCommand(sys, Command::SetPosition, { .value = ms });
    case PlayerCommand::Quit:
        // Closing the window the normal way saves the settings.
        if (sys.window.mainWindow)
            PostMessageA(sys.window.mainWindow, WM_CLOSE, 0, 0);
        return;
    }
}

platform::OpenResult openUri(System& sys, const char* uri)
{
    std::string path;
    if (!pathOfFileUrl(uri, path)) {
        debugLog("DesktopCommand=OpenUri %s: not a file address\n", uri);
        return platform::OpenResult::NotAFileUri;
    }
    debugLog("DesktopCommand=OpenUri %s\n", path.c_str());
    return openDroppedFiles(sys, { path }) >= 0 ? platform::OpenResult::Opened : platform::OpenResult::Failed;
}

// A rate of 0 pauses, as the desktop's players do; any other rate is taken to the nearest speed offered.
bool setRateFromDesktop(System& sys, double rate)
{
    debugLog("DesktopCommand=Rate %g\n", rate);
    if (!(rate >= 0.0) || !std::isfinite(rate)) {
        debugLog("Speed : %g is no playback rate. Ignored.\n", rate);
        return false;
    }
    runCommand(sys, Command::Rate, { .rate = rate });
    return true;
}

struct Announced {
    std::string playbackStatus;
    double rate = 1.0;
    std::string trackId;
    int32_t audio = -1;
    // The stream whose seeks were last told, and how many it had made then.
    const MediaStream* stream = nullptr;
    uint32_t seekCount = 0;
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

bool pathOfFileUrl(const char* url, std::string& path)
{
    constexpr const char* scheme = "file://";
    constexpr const char* localHost = "localhost";
    if (std::strncmp(url, scheme, std::strlen(scheme)) != 0)
        return false;
    const char* p = url + std::strlen(scheme);
    // Only this machine's files: no host, or the name that means this machine.
    if (std::strncmp(p, localHost, std::strlen(localHost)) == 0)
        p += std::strlen(localHost);
    if (*p != '/')
        return false;
    path.clear();
    for (; *p; ++p) {
        if (*p != '%') {
            path += *p;
            continue;
        }
        const int high = platform::hexDigit(p[1]);
        const int low = high < 0 ? -1 : platform::hexDigit(p[2]);
        // A NUL would cut the path short of what was named.
        if (low < 0 || (high == 0 && low == 0))
            return false;
        path += static_cast<char>(high * 16 + low);
        p += 2;
    }
    return true;
}

void openDesktopControls(System& sys)
{
    platform::PlayerHandlers handlers;
    handlers.command = [&sys](platform::PlayerCommand command, int64_t argument) {
        runDesktopCommand(sys, command, argument);
    };
    handlers.status = [&sys] { return statusOf(sys); };
    handlers.openUri = [&sys](const char* uri) { return openUri(sys, uri); };
    handlers.setRate = [&sys](double rate) { return setRateFromDesktop(sys, rate); };
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
    const int32_t audio = sys.movie.currentStream ? sys.movie.currentStream->heardAudio() : -1;
    if (announced.playbackStatus != status || announced.trackId != track || announced.audio != audio
        || announced.rate != sys.playback.speed) {
        announced.playbackStatus = status;
        announced.rate = sys.playback.speed;
        announced.trackId = std::move(track);
        announced.audio = audio;
        platform::announcePlayerChange();
    }
    // Every seek the stream made since the last turn, whoever asked for it, is one jump to the listeners.
    const MediaStream* stream = openMovie(sys);
    const uint32_t seeks = stream ? stream->seekCount : 0;
    if (stream && seeks != 0 && (stream != announced.stream || seeks != announced.seekCount))
        platform::announcePlayerSeek(positionOf(*sys.movie.currentStream));
    announced.stream = stream;
    announced.seekCount = seeks;
}

void closeDesktopControls(System&)
{
    platform::closePlayerBus();
}

}

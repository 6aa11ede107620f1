// The player's object on the desktop's session bus (MPRIS 2.2): the media keys, the sound menu and
// tools such as playerctl find and control the player through it. Calls arrive on the main thread:
// a watcher thread only posts a message to the window when the bus has something, and the window's
// procedure then has servePlayerBus answer it.
#pragma once

#include "platform/mmstream/media_backend.h"
#include "platform/win32.h"

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

enum class PlayerCommand { Play, Pause, PlayPause, Stop, Next, Previous, Seek, SetPosition, Quit };

// What the bus answers about the player, read when a caller asks.
struct PlayerStatus {
    const char* playbackStatus = "Stopped"; // "Playing", "Paused" or "Stopped"
    int64_t positionMicroseconds = 0;
    int64_t lengthMicroseconds = 0;
    std::string trackId; // an object path naming the movie; empty when there is none
    std::string title;
    std::string url;
    std::string caption;
    std::string audio; // the audio stream heard, "2/3 [eng]"; empty without sound
    double volume = 1.0;
    double rate = 1.0; // the playback speed
    // A movie is open: it may be played, paused and sought.
    bool hasMovie = false;
};

// What became of an OpenUri call.
enum class OpenResult { Opened, NotAFileUri, Failed };

struct PlayerHandlers {
    // A command; argument is the offset of Seek or the position of SetPosition, in microseconds.
    std::function<void(PlayerCommand command, int64_t argument)> command;
    std::function<PlayerStatus()> status;
    std::function<void(double volume)> setVolume;
    // A rate asked for through the Rate property; false refuses it (no number, or below 0).
    std::function<bool(double rate)> setRate;
    // Opens the file an address names, as a drop on the window would.
    std::function<OpenResult(const char* uri)> openUri;
};

// Publishes org.mpris.MediaPlayer2.<name> (or, when another player holds that name, the name with
// ".instance<pid>"); message is posted to window whenever calls wait. False, with one log line and
// nothing else done, when there is no session bus.
bool openPlayerBus(const char* name, HWND window, UINT message, PlayerHandlers handlers);
// Answers every call that waits, without blocking, then lets the watcher wait for the next.
void servePlayerBus();
// The playback rates the player offers (MinimumRate, MaximumRate).
constexpr double slowestPlayerRate = slowestSpeed;
constexpr double fastestPlayerRate = fastestSpeed;

// Tells the bus's listeners that the playback status, the rate or the movie changed.
void announcePlayerChange();
// Tells the bus's listeners that the position jumped to positionMicroseconds (Seeked).
void announcePlayerSeek(int64_t positionMicroseconds);
// Leaves the bus; no message is posted afterwards.
void closePlayerBus();

}

// What became of the sound device while a movie plays, for the status bar: the audio output notes a
// device that disappeared and one that was found again; the system reads the last change.
#pragma once

#include <cstdint>

namespace platform {

enum class SoundDeviceChange {
    None,  // nothing happened, or the last change is forgotten
    Lost,  // the device went away; the movie plays on without sound
    Back,  // a device was found again and the sound goes on
};

struct SoundDeviceNotice {
    SoundDeviceChange change = SoundDeviceChange::None;
    uint32_t since = 0;  // calendar seconds of the change
};

// Callable from any thread.
void noteSoundDeviceChange(SoundDeviceChange change);
SoundDeviceNotice soundDeviceNotice();

}

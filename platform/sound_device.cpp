#include "platform/sound_device.h"

#include "platform/kernel.h"

#include <mutex>

namespace platform {

namespace {

std::mutex noticeMutex;
SoundDeviceNotice lastNotice;

}

void noteSoundDeviceChange(SoundDeviceChange change)
{
    const uint32_t now = change == SoundDeviceChange::None ? 0 : calendarSeconds();
    std::lock_guard lock(noticeMutex);
    lastNotice = {change, now};
}

SoundDeviceNotice soundDeviceNotice()
{
    std::lock_guard lock(noticeMutex);
    return lastNotice;
}

}

#include "ui/volume.h"

#include "app/system.h"
#include "platform/audio_volume.h"

namespace sublumen {

void readVolume(System& sys)
{
    DWORD level = 0;
    // A failed read leaves the level as it was; failures are not reported.
    if (waveOutGetVolume(nullptr, &level) == MMSYSERR_NOERROR)
        sys.commands.volume = static_cast<int32_t>((level >> 8) & 0xFF);
}

void writeVolume(System& sys)
{
    DWORD channel = static_cast<DWORD>(sys.commands.volume << 8) & 0xFFFF;
    waveOutSetVolume(nullptr, channel | (channel << 16));
}

void changeVolume(System& sys, int step)
{
    readVolume(sys);
    int32_t level = sys.commands.volume + step;
    if (level < 0)
        level = 0;
    if (level >= 255)
        level = 255;
    sys.commands.volume = level;
    writeVolume(sys);
}

}

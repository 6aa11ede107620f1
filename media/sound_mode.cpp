#include "media/sound_mode.h"

#include "app/system.h"
#include "display/notice.h"
#include "media/media_stream.h"

namespace sublumen {

namespace {

int32_t chosenMode(const System& sys)
{
    const int32_t mode = sys.settings.soundmode;
    return mode == soundModeClearDialogue || mode == soundModeNight ? mode : soundModeNormal;
}

platform::SoundMode streamMode(int32_t mode)
{
    switch (mode) {
    case soundModeClearDialogue:
        return platform::SoundMode::ClearDialogue;
    case soundModeNight:
        return platform::SoundMode::Night;
    default:
        return platform::SoundMode::Normal;
    }
}

}

void cycleSoundMode(System& sys)
{
    sys.settings.soundmode = (chosenMode(sys) + 1) % 3;
    if (MediaStream* stream = sys.movie.currentStream.get(); stream && stream->stream)
        stream->setSoundMode(streamMode(chosenMode(sys)));
    showNotice(sys, soundModeText(sys), 3);
}

void applySoundMode(System& sys)
{
    // A stream starts with the movie's own mix.
    if (chosenMode(sys) == soundModeNormal)
        return;
    if (MediaStream* stream = sys.movie.currentStream.get(); stream && stream->stream)
        stream->setSoundMode(streamMode(chosenMode(sys)));
}

std::string soundModeText(const System& sys)
{
    const int32_t mode = chosenMode(sys);
    std::string text = mode == soundModeClearDialogue ? "대사 또렷하게" : mode == soundModeNight ? "야간 모드" : "보통 소리";
    const MediaStream* stream = sys.movie.currentStream.get();
    if (!stream || !stream->stream)
        return text;
    const int channels = stream->soundChannels();
    if (channels == 0)
        text += " (소리 없음)";
    else if (channels == 1 && mode != soundModeNormal)
        text += " (모노: 목소리 대역 강조)";
    return text;
}

}

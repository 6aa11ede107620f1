#include "media/playback_speed.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "platform/mmstream/media_backend.h"

#include <cstdio>

namespace sublumen {

void stepPlaybackSpeed(System& sys, int step)
{
    setPlaybackSpeed(sys, step == 0 ? 1.0 : sys.playback.speed + 0.1 * step);
}

double setPlaybackSpeed(System& sys, double speed)
{
    const double chosen = platform::playbackSpeedStep(speed);
    if (chosen == sys.playback.speed)
        return chosen;
    sys.playback.speed = chosen;
    // Each change goes to the stream at once; the stream drops what it made for the one before, so a
    // burst of presses costs no more than its last.
    applyPlaybackSpeed(sys);
    return chosen;
}

void setRate(System& sys, CommandArgument argument)
{
    if (argument.rate == 0.0)
        pauseMovie(sys, {});
    else
        setPlaybackSpeed(sys, argument.rate);
}

void applyPlaybackSpeed(System& sys)
{
    MediaStream* stream = sys.movie.currentStream.get();
    if (!stream || !stream->stream || stream->rate() == sys.playback.speed)
        return;
    if (stream->setRate(sys.playback.speed) != 0)
        debugLog("Speed : the movie plays at its own speed only.\n");
}

std::string playbackSpeedText(const System& sys)
{
    if (sys.playback.speed == 1.0)
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "재생 속도:%.1fx", sys.playback.speed);
    return text;
}

}

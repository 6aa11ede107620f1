#include "media/audio_choice.h"

#include "app/debug_log.h"
#include "app/system.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>

namespace sublumen {

namespace {

constexpr const char* memoryField = "audio";

// The position in tracks of the stream numbered index, or -1.
int positionOf(const std::vector<AudioTrack>& tracks, int32_t index)
{
    for (size_t i = 0; i < tracks.size(); ++i)
        if (tracks[i].index == index)
            return static_cast<int>(i);
    return -1;
}

// The stream number a memory field names, or -1 for anything but plain decimal digits.
int32_t rememberedIndex(const std::string& text)
{
    if (text.empty() || text.size() > 6 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return static_cast<int32_t>(std::stol(text));
}

// A tag is shown short; a longer one is cut rather than allowed to crowd the line.
std::string shownLanguage(const AudioTrack& track)
{
    return track.language.substr(0, 8);
}

}

int32_t startAudioOf(const std::vector<AudioTrack>& tracks, const std::string& remembered, const char* audiolang)
{
    if (tracks.empty())
        return -1;
    int32_t kept = rememberedIndex(remembered);
    if (kept >= 0 && positionOf(tracks, kept) >= 0)
        return kept;
    if (audiolang && *audiolang) {
        for (const AudioTrack& track : tracks)
            if (strcasecmp(track.language.c_str(), audiolang) == 0)
                return track.index;
    }
    for (const AudioTrack& track : tracks)
        if (track.isDefault)
            return track.index;
    return tracks.front().index;
}

void chooseStartAudio(System& sys)
{
    MediaStream* stream = sys.movie.currentStream.get();
    if (!stream)
        return;
    int32_t heard = -1;
    std::vector<AudioTrack> tracks = stream->audioTracks(&heard);
    auto field = sys.movie.memoryFields.find(memoryField);
    std::string remembered = field != sys.movie.memoryFields.end() ? field->second : "";
    if (!remembered.empty() && positionOf(tracks, rememberedIndex(remembered)) < 0) {
        debugLog("Audio: the remembered stream %s is not in the movie.\n", remembered.c_str());
        sys.movie.memoryFields.erase(memoryField);
    }
    int32_t wanted = startAudioOf(tracks, remembered, sys.settings.audiolang);
    if (wanted < 0 || wanted == heard)
        return;
    if (stream->selectAudio(wanted))
        debugLog("Audio: stream %d.\n", wanted);
    else
        debugLog("Audio: stream %d cannot be played; stream %d stays.\n", wanted, heard);
}

void cycleAudio(System& sys)
{
    MediaStream* stream = sys.movie.currentStream.get();
    if (!stream)
        return;
    int32_t heard = -1;
    std::vector<AudioTrack> tracks = stream->audioTracks(&heard);
    if (tracks.size() < 2 || heard < 0) {
        debugLog("Audio: no other stream to choose.\n");
        return;
    }
    const int count = static_cast<int>(tracks.size());
    const int from = std::max(positionOf(tracks, heard), 0);
    for (int step = 1; step < count; ++step) {
        const AudioTrack& next = tracks[static_cast<size_t>((from + step) % count)];
        if (stream->selectAudio(next.index)) {
            debugLog("Audio: stream %d.\n", next.index);
            sys.movie.memoryFields[memoryField] = std::to_string(next.index);
            return;
        }
        debugLog("Audio: stream %d cannot be played.\n", next.index);
    }
}

void keepHeardAudio(System& sys)
{
    auto field = sys.movie.memoryFields.find(memoryField);
    if (field == sys.movie.memoryFields.end() || !sys.movie.currentStream)
        return;
    const int32_t heard = sys.movie.currentStream->heardAudio();
    if (heard >= 0)
        field->second = std::to_string(heard);
}

bool audioLine(System& sys, char* buffer, size_t size)
{
    if (!buffer || size == 0)
        return false;
    MediaStream* stream = sys.movie.currentStream.get();
    int32_t heard = -1;
    std::vector<AudioTrack> tracks = stream ? stream->audioTracks(&heard) : std::vector<AudioTrack> {};
    const int position = positionOf(tracks, heard);
    if (position < 0)
        return false;
    const std::string language = shownLanguage(tracks[static_cast<size_t>(position)]);
    if (language.empty())
        std::snprintf(buffer, size, "음성:%d/%d", position + 1, static_cast<int>(tracks.size()));
    else
        std::snprintf(buffer, size, "음성:%d/%d [%s]", position + 1, static_cast<int>(tracks.size()), language.c_str());
    return true;
}

}

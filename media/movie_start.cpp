#include "media/movie_start.h"

#include "media/audio_choice.h"
#include "media/caption_choice.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "display/notice.h"
#include "display/video_placement.h"
#include "media/audio_choice.h"
#include "media/caption_discovery.h"
#include "media/movie_memory.h"
#include "media/media_stream.h"
#include "media/movie_list.h"
#include "media/movie_session.h"
#include "platform/gdi/text_decoding.h"
#include "platform/kernel.h"

#include <cstdio>

namespace sublumen {

namespace {

// The module's name in the system directory and its backup name; false when there is no system directory.
bool decoderNames(char (&name)[1100], char (&backup)[1100])
{
    char systemDir[1000];
    if (GetSystemDirectoryA(systemDir, sizeof systemDir) == 0)
        return false;
    std::snprintf(name, sizeof name, "%s/MPG4DMOD.DLL", systemDir);
    std::snprintf(backup, sizeof backup, "%s/MPG4DMOD.DLL.bak", systemDir);
    return true;
}

bool holdsSeveralMovies(const MovieList* list)
{
    return list && list->items && nodeNext(list->items);
}

// The notice of a list movie passed over, for three seconds. A file name is the user's bytes: one that is
// not UTF-8 is read as the code page's.
void tellUnopened(System& sys, const std::string& name)
{
    if (platform::isValidUtf8(name))
        showNotice(sys, "열 수 없음: " + name, 3);
    else
        showNotice(sys, "열 수 없음: " + platform::encodeUtf8(platform::decodeForDisplay(name)), 3);
}

const char* fileNameOf(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return name;
}

}

void hideSystemDecoder()
{
    char name[1100], backup[1100];
    if (decoderNames(name, backup))
        renameFile(name, backup);
}

void restoreSystemDecoder()
{
    char name[1100], backup[1100];
    if (decoderNames(name, backup))
        renameFile(backup, name);
}

int startMovie(System& sys, int32_t step)
{
    MovieState& movie = sys.movie;
    closeMovie(sys);

    MovieItem* item = nullptr;
    if (movie.movieList) {
        MovieList& list = *movie.movieList;
        item = list.cursorItem();
        // Forward, a cursor that ran off the end of the list stays off it: the list has ended. Back, the
        // first step from there returns to the last movie, and the first movie is as far back as it goes.
        // Either way a huge step costs no more than the list is long.
        for (int32_t i = 0; i < step && item; ++i)
            item = list.stepForward();
        for (int32_t i = 0; i > step; --i) {
            if (!item)
                item = list.stepToLast();
            else if (nodePrev(list.cursor))
                item = list.stepBack();
            else
                break;
            if (!item)
                break;
        }
    }
    if (!item) {
        debugLog("No more Movie File to Play.\n");
        return -1;
    }

    movie.currentItem = *item;
    MovieItem& current = movie.currentItem;
    debugLog("Play[%s/%s/%s/%d]\n", current.title, current.movie, current.caption, current.timeshift);

    hideSystemDecoder();
    MediaStream* opened = openMovieStream(sys, current.movie);
    restoreSystemDecoder();
    if (!opened) {
        debugLog("xmmstream can't be created.\n");
        return -2;
    }
    MediaStream& stream = *opened;
    debugLog("xmmstream=0x%X, error=%d\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(&stream)),
        stream.lastResult);
    if (!stream.stream) {
        debugLog("Video Load Fail : error=%d\n", stream.lastResult);
        return -3;
    }
    movie.movieDuration = stream.duration;
    if (movie.movieDuration == 0) {
        debugLog("Video Empty.\n");
        return -4;
    }

    computeVideoPlacement(sys);
    loadCurrentCaption(sys);
    recallMovie(sys);
    chooseStartAudio(sys);
    chooseStartCaptions(sys);
    sys.playback.isPlaying = 1;
    // However the movie was started (a step, a drop, the desktop), the loop composes its frames.
    sys.playback.playState = PlayState::Run;
    runMovie(sys, 1);
    resumeMovie(sys);
    return 0;
}

int startPlayableMovie(System& sys, int32_t step)
{
    int rc = startMovie(sys, step);
    MovieList* list = sys.movie.movieList.get();
    if (!holdsSeveralMovies(list))
        return rc;
    int32_t direction = step < 0 ? -1 : 1;
    // -1 is no entry at all; the other failures leave the cursor on an entry that did not play. Every try
    // moves the cursor one entry on, and back only until the first one, so the travel always ends.
    while (rc < -1) {
        sys.movie.unopenedMovie = fileNameOf(sys.movie.currentItem.movie);
        tellUnopened(sys, sys.movie.unopenedMovie);
        if (direction < 0 && !nodePrev(list->cursor))
            direction = 1;
        rc = startMovie(sys, direction);
    }
    return rc;
}

}

#include "media/caption_discovery.h"

#include "app/debug_log.h"
#include "app/path_text.h"
#include "app/system.h"
#include "caption/caption.h"
#include "media/media_stream.h"
#include "media/movie_list.h"
#include "media/movie_session.h"
#include "platform/dialogs.h"
#include "platform/kernel.h"
#include "platform/mmstream/caption_streams.h"

#include <cstring>
#include <new>
#include <strings.h>

namespace sublumen {

namespace {

constexpr const char* captionSuffixes[] = { ".smi", ".sami", ".sub" };
constexpr const char* noCaptionMarker = "없음";
constexpr const char* asfScriptMarker = "[ASF]";

// A relative path is taken from the current directory, as the operating system would take it now.
void absoluteFromCurrentDirectory(char (&path)[1024])
{
    char current[1024];
    currentDirectory(current, sizeof current);
    makeAbsolute(path, sizeof path, current);
}

bool endsWithAsf(const char* path)
{
    size_t length = std::strlen(path);
    return length >= 4 && strcasecmp(path + length - 4, ".ASF") == 0;
}

}

int buildMovieList(System& sys)
{
    delete sys.movie.movieList;
    sys.movie.movieList = new (std::nothrow) MovieList;
    if (!sys.movie.movieList) {
        debugLog("MLIST error=1\n");
        return -12;
    }
    MovieList& list = *sys.movie.movieList;
    const char* startPath = sys.startup.startPath;

    if (listKind(startPath) != 0) {
        loadListFile(list, startPath);
    } else {
        // The list holds absolute paths only: the caption question below changes the current directory.
        char movie[1024];
        boundedCopy(movie, startPath, sizeof movie);
        absoluteFromCurrentDirectory(movie);
        char caption[1024] = {};
        boundedCopy(caption, movie, sizeof caption);
        // A run started from a caption file plays its movie with that very caption.
        if (sys.startup.startCaption[0])
            boundedCopy(caption, sys.startup.startCaption, sizeof caption);
        else if (!findCaptionFile(caption)) {
            caption[0] = '\0';
            // A movie that carries its own text captions has them: nothing to ask.
            if (platform::probeCaptionStream(movie).index >= 0) {
                debugLog("Caption stream in the movie.\n");
            } else if (sys.settings.asksmi) {
                debugLog("Asking Caption.\n");
                // The dialog opens in the current directory, so that is the movie's own from now on.
                char directory[1024];
                if (directoryOf(movie, directory, sizeof directory) == 0 && isPathSeparator(movie[0]))
                    boundedCopy(directory, "/", sizeof directory);
                SetCurrentDirectoryA(directory);
                if (chooseFile(sys.playback.instance, nullptr, "자막 화일을 고르세요.", caption, sizeof caption))
                    absoluteFromCurrentDirectory(caption);
                else
                    caption[0] = '\0';
            }
        }
        list.addItem("", movie, caption, 0);
    }
    list.rewind();
    return 0;
}

int findCaptionFile(char (&path)[1024])
{
    path[sizeof path - 1] = '\0';
    size_t length = std::strlen(path);
    // Only the file-name part carries an extension; a "." in a directory name belongs to that name.
    size_t nameStart = 0;
    for (size_t i = 0; i < length; ++i) {
        if (isPathSeparator(path[i]))
            nameStart = i + 1;
    }
    const char* dot = std::strrchr(path + nameStart, '.');
    size_t stem = dot ? static_cast<size_t>(dot - path) : length;

    for (const char* suffix : captionSuffixes) {
        size_t suffixLength = std::strlen(suffix);
        // A cut name would be another file's name, so a name that does not fit is not tried at all.
        if (stem + suffixLength > sizeof path - 1)
            continue;
        std::memcpy(path + stem, suffix, suffixLength + 1);
        if (_access(path, 4) == 0)
            return 1;
    }
    return 0;
}

int loadCurrentCaption(System& sys)
{
    MovieItem& item = sys.movie.currentItem;
    closeMovieCaption(sys);

    char name[1024];
    if (item.caption[0]) {
        boundedCopy(name, item.caption, sizeof name);
    } else {
        boundedCopy(name, item.movie, sizeof name);
        if (!findCaptionFile(name)) {
            debugLog("There is no SAMI file.\n");
            boundedCopy(item.caption, noCaptionMarker, sizeof item.caption);
            if (endsWithAsf(item.movie)) {
                debugLog("ASF -> Try to Load ASF script.\n");
                openMovieCaption(sys, item.movie);
                boundedCopy(item.caption, asfScriptMarker, sizeof item.caption);
            } else if (sys.movie.currentStream
                && sys.movie.currentStream->captionStreamName(name, sizeof name)) {
                debugLog("Load Caption Stream : %s\n", name);
                if (Caption* track = openMovieCaption(sys, nullptr))
                    track->beginCueTrack();
                boundedCopy(item.caption, name, sizeof item.caption);
            }
            return 0;
        }
    }

    debugLog("Load SAMI Caption : %s\n", name);
    openMovieCaption(sys, name);
    boundedCopy(item.caption, name, sizeof item.caption);
    return 0;
}

int chooseFile(HINSTANCE instance, HWND owner, const char* title, char* buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    OPENFILENAMEA record {};
    record.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    record.hwndOwner = owner;
    record.hInstance = instance;
    // Emptied so that the dialog opens without a file name.
    buffer[0] = '\0';
    record.lpstrFile = buffer;
    record.nMaxFile = static_cast<DWORD>(size);
    record.lpstrTitle = title;
    record.Flags = OFN_EXPLORER | OFN_SHOWHELP;
    return GetOpenFileNameA(&record);
}

}

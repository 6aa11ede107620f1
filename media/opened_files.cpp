#include "media/opened_files.h"

#include "app/debug_log.h"
#include "app/path_text.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_formats.h"
#include "media/caption_choice.h"
#include "media/caption_discovery.h"
#include "media/movie_list.h"
#include "media/movie_start.h"
#include "platform/kernel.h"
#include "platform/mmstream/movie_suffixes.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <strings.h>
#include <system_error>

namespace sublumen {

namespace {

// The movie beside captionPath named stem (ending in its dot) and a known movie suffix, as findMovieForCaption.
int findMovieNamed(const std::filesystem::path& captionPath, const std::string& stem, char (&movie)[1024]);

bool readableFile(const char* path)
{
    std::error_code ec;
    return _access(path, 4) == 0 && !std::filesystem::is_directory(path, ec);
}

}

FileKind fileKindOf(const char* path)
{
    if (listKind(path) != 0)
        return FileKind::List;
    return isCaptionFileName(path) ? FileKind::Caption : FileKind::Movie;
}

int findMovieForCaption(const char* caption, char (&movie)[1024])
{
    const std::filesystem::path captionPath(caption);
    if (findMovieNamed(captionPath, captionPath.stem().string() + ".", movie) == 0)
        return 0;
    // movie.ko.srt belongs to movie.avi.
    const std::filesystem::path shorter = captionPath.stem().stem();
    if (isTextCaptionName(caption) && shorter != captionPath.stem() && !shorter.empty())
        return findMovieNamed(captionPath, shorter.string() + ".", movie);
    return -1;
}

namespace {

int findMovieNamed(const std::filesystem::path& captionPath, const std::string& stem, char (&movie)[1024])
{
    std::filesystem::path folder = captionPath.parent_path();
    if (folder.empty())
        folder = ".";
    std::string best;
    int bestRank = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= stem.size() || name.compare(0, stem.size(), stem) != 0)
            continue;
        const std::string suffix = name.substr(stem.size());
        if (suffix.find('.') != std::string::npos)
            continue;
        const int rank = platform::movieSuffixRank(suffix.c_str());
        const std::string path = (captionPath.parent_path() / name).string();
        // The order of a folder listing is no order: the rank, then the name, decide.
        if (rank == 0 || !readableFile(path.c_str()) || path.size() >= sizeof movie)
            continue;
        if (best.empty() || rank < bestRank || (rank == bestRank && path < best)) {
            best = path;
            bestRank = rank;
        }
    }
    if (best.empty())
        return -1;
    boundedCopy(movie, best.c_str(), sizeof movie);
    return 0;
}

}

int openAsStartPath(System& sys, const char* path)
{
    StartupState& st = sys.startup;
    st.startCaption[0] = '\0';
    if (fileKindOf(path) == FileKind::Caption) {
        char movie[1024];
        if (findMovieForCaption(path, movie) < 0) {
            debugLog("No Movie for the Caption File:%s\n", path);
            return -1;
        }
        boundedCopy(st.startCaption, path, sizeof st.startCaption);
        boundedCopy(st.startPath, movie, sizeof st.startPath);
    } else {
        boundedCopy(st.startPath, path, sizeof st.startPath);
    }
    if (buildMovieList(sys) < 0)
        return -12;
    sys.playback.movieStep = 0;
    const int rc = startPlayableMovie(sys, 0);
    if (rc < 0)
        sys.playback.isPlaying = 0;
    return rc;
}

int loadDroppedCaption(System& sys, const char* path)
{
    MovieState& movie = sys.movie;
    if (!movie.currentStream)
        return openAsStartPath(sys, path);
    // The list entry keeps it too, so that a restart of this movie (a display rebuild) keeps the caption.
    if (movie.movieList)
        if (MovieItem* entry = movie.movieList->cursorItem())
            boundedCopy(entry->caption, path, sizeof entry->caption);
    boundedCopy(movie.currentItem.caption, path, sizeof movie.currentItem.caption);
    loadCurrentCaption(sys);
    noteShownCaption(sys);
    return 0;
}

int openDroppedFiles(System& sys, const std::vector<std::string>& files)
{
    const std::string* chosen = nullptr;
    for (const std::string& file : files)
        if (readableFile(file.c_str()) && fileKindOf(file.c_str()) != FileKind::Caption) {
            chosen = &file;
            break;
        }
    if (!chosen)
        for (const std::string& file : files)
            if (readableFile(file.c_str())) {
                chosen = &file;
                break;
            }
    for (const std::string& file : files) {
        if (&file == chosen)
            continue;
        if (!readableFile(file.c_str()))
            debugLog("DropFile can't access:%s\n", file.c_str());
        else
            debugLog("DropFile ignored:%s\n", file.c_str());
    }
    if (!chosen)
        return -1;
    debugLog("DropFile=%s\n", chosen->c_str());
    if (fileKindOf(chosen->c_str()) == FileKind::Caption)
        return loadDroppedCaption(sys, chosen->c_str());
    return openAsStartPath(sys, chosen->c_str());
}

void openFiles(System& sys, CommandArgument argument)
{
    if (argument.files)
        openDroppedFiles(sys, *argument.files);
}

}

#include "media/caption_discovery.h"

#include "app/debug_log.h"
#include "app/path_text.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_formats.h"
#include "media/media_stream.h"
#include "media/movie_list.h"
#include "media/movie_memory.h"
#include "media/movie_session.h"
#include "platform/dialogs.h"
#include "platform/kernel.h"
#include "platform/mmstream/caption_streams.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <strings.h>
#include <system_error>
#include <vector>

namespace sublumen {

namespace {

constexpr const char* noCaptionMarker = "없음";
constexpr const char* asfScriptMarker = "[ASF]";

// A relative path is taken from the current directory, as the operating system would take it now.
void absoluteFromCurrentDirectory(char (&path)[1024])
{
    char current[1024];
    currentDirectory(current, sizeof current);
    makeAbsolute(path, sizeof path, current);
}

bool isKoreanPart(const std::string& language)
{
    return strcasecmp(language.c_str(), "ko") == 0 || strcasecmp(language.c_str(), "kor") == 0
        || strcasecmp(language.c_str(), "korean") == 0 || strncasecmp(language.c_str(), "ko-", 3) == 0
        || strncasecmp(language.c_str(), "ko_", 3) == 0;
}

// The text caption files in folder (as written before the movie's name, "" for the current one) named
// stem.LANGUAGE.suffix, with a language part of at most 16 characters and no dot, that can be read: Korean
// ones first, then by the order of the text formats' endings, then by name, as a folder listing has no order.
std::vector<std::string> languageCaptionFiles(const std::string& folder, const std::string& stem)
{
    struct Candidate {
        bool korean;
        size_t suffix;
        std::string path;
    };
    std::vector<Candidate> candidates;
    const std::vector<const char*> textSuffixes = captionSuffixes(LookedFor::AsText);
    std::error_code ec;
    std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder);
    for (std::filesystem::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() <= stem.size() + 1 || name.compare(0, stem.size(), stem) != 0 || name[stem.size()] != '.')
            continue;
        std::string rest = name.substr(stem.size() + 1);
        for (size_t i = 0; i < textSuffixes.size(); ++i) {
            size_t n = std::strlen(textSuffixes[i]);
            if (rest.size() <= n || strcasecmp(rest.c_str() + rest.size() - n, textSuffixes[i]) != 0)
                continue;
            std::string language = rest.substr(0, rest.size() - n);
            if (language.size() <= 16 && language.find('.') == std::string::npos)
                candidates.push_back({ isKoreanPart(language), i, folder + name });
        }
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.korean != b.korean)
            return a.korean;
        return a.suffix != b.suffix ? a.suffix < b.suffix : a.path < b.path;
    });
    std::vector<std::string> readable;
    for (const Candidate& c : candidates)
        if (_access(c.path.c_str(), 4) == 0 && !std::filesystem::is_directory(c.path, ec))
            readable.push_back(c.path);
    return readable;
}

// The first of languageCaptionFiles, "" when none.
std::string languageCaptionFile(const std::string& folder, const std::string& stem)
{
    std::vector<std::string> files = languageCaptionFiles(folder, stem);
    return files.empty() ? std::string() : files.front();
}

// Where the movie's name starts in path, and where its extension starts (the length when it has none).
void splitMovieName(const char* path, size_t& nameStart, size_t& stem)
{
    size_t length = std::strlen(path);
    // Only the file-name part carries an extension; a "." in a directory name belongs to that name.
    nameStart = 0;
    for (size_t i = 0; i < length; ++i) {
        if (isPathSeparator(path[i]))
            nameStart = i + 1;
    }
    const char* dot = std::strrchr(path + nameStart, '.');
    stem = dot ? static_cast<size_t>(dot - path) : length;
}

bool endsWithAsf(const char* path)
{
    const CaptionFormatRow* format = captionFormatOfName(path);
    return format && format->format == CaptionFormat::AsfScript;
}

}

int buildMovieList(System& sys)
{
    sys.movie.movieList.reset(new (std::nothrow) MovieList);
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
            // A movie that carries its own captions (text or pictures) has them: nothing to ask. Its header
            // is read only when the question would otherwise come.
            if (sys.settings.asksmi && platform::probeCaptionStream(movie).index >= 0) {
                debugLog("Caption stream in the movie.\n");
            } else if (sys.settings.asksmi) {
                debugLog("Asking Caption.\n");
                // The dialog opens in the current directory, so that is the movie's own from now on.
                char directory[1024];
                if (directoryOf(movie, directory, sizeof directory) == 0 && isPathSeparator(movie[0]))
                    boundedCopy(directory, "/", sizeof directory);
                SetCurrentDirectoryA(directory);
                if (chooseFile(sys.playback.instance, nullptr, "자막 화일을 고르세요.", caption, sizeof caption,
                        captionFileFilter()))
                    absoluteFromCurrentDirectory(caption);
                else
                    caption[0] = '\0';
            }
        }
        list.addItem("", movie, caption, 0);
    }
    list.rewind();
    // A list started again goes on at the movie that was playing; a single movie keeps no list entry.
    if (listKind(startPath) != 0)
        recallList(sys, startPath);
    else
        sys.movie.listMemoryPath.clear();
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

    // Tries each suffix in place of the extension; a cut name would be another file's name, so a name
    // that does not fit is not tried at all.
    auto tryEach = [&](const auto& suffixes) {
        for (const char* suffix : suffixes) {
            size_t suffixLength = std::strlen(suffix);
            if (stem + suffixLength > sizeof path - 1)
                continue;
            std::memcpy(path + stem, suffix, suffixLength + 1);
            if (_access(path, 4) == 0)
                return true;
        }
        return false;
    };
    if (tryEach(captionSuffixes(LookedFor::First)))
        return 1;
    // What is left in path when nothing is found stays the last of the names above.
    char lastTried[1024];
    std::memcpy(lastTried, path, sizeof path);
    if (tryEach(captionSuffixes(LookedFor::AsText)))
        return 1;
    std::string found = languageCaptionFile(std::string(lastTried, nameStart), std::string(lastTried + nameStart, stem - nameStart));
    if (!found.empty() && found.size() < sizeof path) {
        std::memcpy(path, found.c_str(), found.size() + 1);
        return 1;
    }
    if (tryEach(captionSuffixes(LookedFor::AsPicture)))
        return 1;
    std::memcpy(path, lastTried, sizeof path);
    return 0;
}

std::vector<std::string> captionFilesBeside(const char* movie)
{
    std::vector<std::string> files;
    if (!movie || !*movie)
        return files;
    size_t nameStart = 0, stem = 0;
    splitMovieName(movie, nameStart, stem);
    const std::string base(movie, stem);
    auto tryEach = [&](const auto& suffixes) {
        for (const char* suffix : suffixes) {
            std::string name = base + suffix;
            if (name.size() < 1024 && _access(name.c_str(), 4) == 0)
                files.push_back(name);
        }
    };
    tryEach(captionSuffixes(LookedFor::First));
    tryEach(captionSuffixes(LookedFor::AsText));
    for (std::string& name : languageCaptionFiles(std::string(movie, nameStart), std::string(movie + nameStart, stem - nameStart)))
        if (name.size() < 1024)
            files.push_back(std::move(name));
    tryEach(captionSuffixes(LookedFor::AsPicture));
    // A VobSub pair is one caption, named by its .idx.
    if (std::find(files.begin(), files.end(), base + ".idx") != files.end())
        files.erase(std::remove(files.begin(), files.end(), base + ".sub"), files.end());
    return files;
}

int loadCurrentCaption(System& sys)
{
    MovieItem& item = sys.movie.currentItem;
    closeFirstCaption(sys);

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
                openStreamCaption(sys);
                boundedCopy(item.caption, name, sizeof item.caption);
            }
            return 0;
        }
    }

    debugLog("Load SAMI Caption : %s\n", name);
    openCaptionFile(sys, name);
    boundedCopy(item.caption, name, sizeof item.caption);
    return 0;
}

const char* captionFileFilter()
{
    static const std::string filter
        = "자막 화일" + std::string(1, '\0') + captionFilePatterns() + '\0' + "모든 화일" + '\0' + "*" + '\0';
    return filter.c_str();
}

int chooseFile(HINSTANCE instance, HWND owner, const char* title, char* buffer, int size, const char* filter)
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
    record.lpstrFilter = filter;
    record.Flags = OFN_EXPLORER | OFN_SHOWHELP;
    return GetOpenFileNameA(&record);
}

}

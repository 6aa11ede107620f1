#include "media/movie_memory.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace sublumen {

namespace {

constexpr const char* header = "# sublumen movies 1";
constexpr size_t maximumMovies = 1000;

bool fieldNameValid(const std::string& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    });
}

// "shift<TAB>class<TAB>[name=value<TAB>…]/path": the named fields come between the class and the path,
// which alone starts with '/', so a line of the first form reads as before.
bool parseLine(const std::string& line, MovieMemoryEntry& entry)
{
    size_t firstTab = line.find('\t');
    size_t secondTab = firstTab == std::string::npos ? firstTab : line.find('\t', firstTab + 1);
    if (secondTab == std::string::npos)
        return false;
    const std::string number = line.substr(0, firstTab);
    char* end = nullptr;
    errno = 0;
    long long shift = std::strtoll(number.c_str(), &end, 10);
    if (number.empty() || *end != '\0' || errno != 0 || shift < INT32_MIN || shift > INT32_MAX)
        return false;
    entry.shift = static_cast<int32_t>(shift);
    entry.className = line.substr(firstTab + 1, secondTab - firstTab - 1);
    size_t at = secondTab + 1;
    while (at < line.size() && line[at] != '/') {
        size_t tab = line.find('\t', at);
        size_t equals = line.find('=', at);
        if (tab == std::string::npos || equals == std::string::npos || equals > tab)
            return false;
        std::string name = line.substr(at, equals - at);
        if (!fieldNameValid(name))
            return false;
        entry.fields[name] = line.substr(equals + 1, tab - equals - 1);
        at = tab + 1;
    }
    if (at >= line.size())
        return false;
    entry.path = line.substr(at);
    return true;
}

// Writes text beside path under a temporary name, forces it to disk and renames it over path.
bool replaceFile(const std::string& path, const std::string& text)
{
    std::string directory = std::filesystem::path(path).parent_path().string();
    platform::makeFolders(directory);
    std::string temporary = directory + "/.movies-XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0)
        return false;
    bool written = true;
    for (size_t at = 0; written && at < text.size();) {
        ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        if (written)
            at += static_cast<size_t>(n);
    }
    written = fsync(fd) == 0 && written;
    written = ::close(fd) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

// The caption rate the user's snaps fixed; a value no snap could have set is dropped, not applied.
void recallCaptionRate(MovieState& movie)
{
    auto field = movie.memoryFields.find(captionRateField);
    if (field == movie.memoryFields.end())
        return;
    if (std::optional<double> rate = parseCaptionRate(field->second)) {
        movie.captionRate = *rate;
        debugLog("Movie memory: caption rate %s restored.\n", field->second.c_str());
    } else {
        debugLog("Movie memory: caption rate %s refused.\n", field->second.c_str());
        movie.memoryFields.erase(field);
    }
}

std::string absolutePath(const char* movie)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(movie, error);
    return error ? std::string() : absolute.lexically_normal().string();
}

}

std::string movieMemoryPath()
{
    return platform::stateFolder() + "/movies";
}

namespace {

// Every line of the state file, duplicates included.
std::vector<MovieMemoryEntry> readLines(const std::string& path)
{
    std::vector<MovieMemoryEntry> entries;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return entries;
    std::string line;
    bool damaged = !std::getline(in, line) || line != header;
    while (!damaged && std::getline(in, line)) {
        MovieMemoryEntry entry;
        damaged = !parseLine(line, entry);
        entries.push_back(std::move(entry));
    }
    if (!damaged)
        return entries;
    std::string aside = std::filesystem::path(path).parent_path().string() + "/movies.unusable";
    if (std::rename(path.c_str(), aside.c_str()) == 0)
        debugLog("Movie memory: %s is damaged; set aside as %s.\n", path.c_str(), aside.c_str());
    else
        debugLog("Movie memory: %s is damaged and cannot be set aside: %s.\n", path.c_str(), std::strerror(errno));
    return {};
}

}

std::vector<MovieMemoryEntry> readMovieMemory(const std::string& path)
{
    // Two lines for one movie (two players saved, a hand edit): the later one is the more recent.
    std::vector<MovieMemoryEntry> entries = readLines(path);
    std::unordered_set<std::string> seen;
    std::vector<MovieMemoryEntry> kept;
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        if (seen.insert(e->path).second)
            kept.push_back(std::move(*e));
    }
    std::reverse(kept.begin(), kept.end());
    return kept;
}

bool storeMovieMemory(const std::string& path, const MovieMemoryEntry& entry)
{
    std::vector<MovieMemoryEntry> entries = readMovieMemory(path);
    std::erase_if(entries, [&](const MovieMemoryEntry& e) { return e.path == entry.path; });
    if (!entry.empty())
        entries.push_back(entry);
    if (entries.size() > maximumMovies)
        entries.erase(entries.begin(), entries.end() - maximumMovies);
    std::string text = std::string(header) + "\n";
    for (const MovieMemoryEntry& e : entries) {
        text += std::to_string(e.shift) + "\t" + e.className + "\t";
        for (const auto& [name, value] : e.fields) {
            assert(fieldNameValid(name) && value.find_first_of("\t\n\r") == std::string::npos);
            text += name + "=" + value + "\t";
        }
        text += e.path + "\n";
    }
    if (replaceFile(path, text))
        return true;
    debugLog("Movie memory: cannot write %s: %s.\n", path.c_str(), std::strerror(errno));
    return false;
}

void recallMovie(System& sys)
{
    MovieState& movie = sys.movie;
    MovieItem& item = movie.currentItem;
    movie.listTimeshift = item.timeshift;
    movie.captionRate = 1.0;
    movie.memoryPath = absolutePath(item.movie);
    // A path that would break its line is not remembered.
    if (movie.memoryPath.empty() || movie.memoryPath.find_first_of("\t\n\r") != std::string::npos) {
        movie.memoryPath.clear();
        return;
    }
    std::optional<MovieMemoryEntry> remembered;
    int lines = 0;
    for (MovieMemoryEntry& e : readLines(movieMemoryPath())) {
        if (e.path == movie.memoryPath) {
            remembered = std::move(e);
            ++lines;
        }
    }
    movie.memoryFields.clear();
    if (!remembered)
        return;
    // The movie's next save writes the file again with one line for it.
    if (lines > 1)
        debugLog("Movie memory: %d lines for %s; the last one is used.\n", lines, movie.memoryPath.c_str());
    const MovieMemoryEntry& e = *remembered;
    movie.memoryFields = e.fields;
    recallCaptionRate(movie);
    item.timeshift = static_cast<int32_t>(static_cast<uint32_t>(item.timeshift) + static_cast<uint32_t>(e.shift));
    Caption* caption = sys.movie.currentCaption.get();
    bool classShown = !e.className.empty() && caption && caption->showClassNamed(e.className);
    debugLog("Movie memory: shift %d%s%s restored.\n", e.shift, classShown ? ", class " : "",
        classShown ? e.className.c_str() : "");
}

void rememberMovie(System& sys)
{
    MovieState& movie = sys.movie;
    if (movie.memoryPath.empty())
        return;
    MovieMemoryEntry entry;
    entry.path = movie.memoryPath;
    entry.shift = static_cast<int32_t>(
        static_cast<uint32_t>(movie.currentItem.timeshift) - static_cast<uint32_t>(movie.listTimeshift));
    const Caption* caption = movie.currentCaption.get();
    if (caption && !caption->classes.empty() && caption->shownClass != caption->defaultClass)
        entry.className = caption->shownClassName();
    entry.fields = std::move(movie.memoryFields);
    movie.memoryFields.clear();
    movie.memoryPath.clear();
    std::vector<MovieMemoryEntry> stored = readMovieMemory(movieMemoryPath());
    bool known = false;
    for (const MovieMemoryEntry& e : stored)
        known = known || e.path == entry.path;
    // Nothing set and nothing stored: the file is left alone.
    if (!known && entry.empty())
        return;
    storeMovieMemory(movieMemoryPath(), entry);
}

}

#include "media/movie_memory.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "display/notice.h"
#include "media/audio_choice.h"
#include "media/media_stream.h"
#include "media/movie_list.h"
#include "media/movie_session.h"
#include "platform/kernel.h"
#include "caption/caption_sync.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <sstream>
#include <string_view>
#include <sys/file.h>
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
bool replaceFile(const std::string& path, const std::string& text, Durability durability)
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
    if (durability == Durability::Synced)
        written = fsync(fd) == 0 && written;
    written = ::close(fd) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

// An exclusive lock on the lock file beside the state file, held while it lives; without one (a folder
// that cannot be written) the save goes on unlocked, as it would have before.
class MemoryLock {
public:
    explicit MemoryLock(const std::string& directory)
        : fd_(::open((directory + "/movies.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                debugLog("Movie memory: cannot lock %s/movies.lock: %s.\n", directory.c_str(), std::strerror(errno));
                break;
            }
        }
    }
    ~MemoryLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    MemoryLock(const MemoryLock&) = delete;
    MemoryLock& operator=(const MemoryLock&) = delete;

private:
    int fd_;
};
// The pieces of the automatic sync's map; a text that is no such list is dropped, not applied.
void recallSyncPieces(MovieState& movie)
{
    auto field = movie.memoryFields.find(syncPiecesField);
    if (field == movie.memoryFields.end())
        return;
    if (std::optional<SyncPieces> pieces = parseSyncPieces(field->second)) {
        movie.syncPieces = std::move(*pieces);
        debugLog("Movie memory: %zu caption sync pieces restored.\n", movie.syncPieces.size() + 1);
    } else {
        debugLog("Movie memory: caption sync pieces %s refused.\n", field->second.c_str());
        movie.memoryFields.erase(field);
    }
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

// The path of a line that parseLine reads, found without taking the line apart; empty for a line it
// refuses. The saves, which only carry other movies' lines over, stay cheap with a full file.
std::string_view pathOfLine(std::string_view line)
{
    size_t firstTab = line.find('\t');
    size_t secondTab = firstTab == std::string_view::npos ? firstTab : line.find('\t', firstTab + 1);
    if (secondTab == std::string_view::npos || firstTab == 0)
        return {};
    // The number as strtoll takes it: blanks and a plus sign before it.
    const char* number = line.data();
    const char* numberEnd = line.data() + firstTab;
    while (number < numberEnd && (*number == ' ' || *number == '\f' || *number == '\v' || *number == '\r'))
        ++number;
    if (number < numberEnd && *number == '+' && number + 1 < numberEnd && number[1] != '-')
        ++number;
    int64_t shift = 0;
    auto [end, error] = std::from_chars(number, numberEnd, shift);
    if (error != std::errc() || end != numberEnd || shift < INT32_MIN || shift > INT32_MAX)
        return {};
    size_t at = secondTab + 1;
    while (at < line.size() && line[at] != '/') {
        size_t tab = line.find('\t', at);
        size_t equals = line.find('=', at);
        if (tab == std::string_view::npos || equals == std::string_view::npos || equals > tab
            || !fieldNameValid(std::string(line.substr(at, equals - at))))
            return {};
        at = tab + 1;
    }
    return at < line.size() ? line.substr(at) : std::string_view();
}

void setAside(const std::string& path)
{
    std::string aside = std::filesystem::path(path).parent_path().string() + "/movies.unusable";
    if (std::rename(path.c_str(), aside.c_str()) == 0)
        debugLog("Movie memory: %s is damaged; set aside as %s.\n", path.c_str(), aside.c_str());
    else
        debugLog("Movie memory: %s is damaged and cannot be set aside: %s.\n", path.c_str(), std::strerror(errno));
}

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
    setAside(path);
    return {};
}

// The lines of the state file after its header, each with its path, duplicates included; none for a
// missing file, and none for a damaged one, which is set aside.
std::vector<std::pair<std::string_view, std::string_view>> rawLines(const std::string& path, std::string& text)
{
    std::vector<std::pair<std::string_view, std::string_view>> lines;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return lines;
    std::ostringstream whole;
    whole << in.rdbuf();
    text = whole.str();
    std::string_view rest = text;
    bool damaged = false;
    for (bool first = true; !damaged && !rest.empty(); first = false) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (first) {
            damaged = line != header;
            continue;
        }
        std::string_view moviePath = pathOfLine(line);
        damaged = moviePath.empty();
        lines.emplace_back(line, moviePath);
    }
    damaged = damaged || text.empty();
    if (!damaged)
        return lines;
    setAside(path);
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
    return storeMovieMemory(path, std::vector<MovieMemoryEntry> { entry });
}

bool storeMovieMemory(const std::string& path, const std::vector<MovieMemoryEntry>& changed, Durability durability)
{
    std::string directory = std::filesystem::path(path).parent_path().string();
    platform::makeFolders(directory);
    // From the read to the rename, so that another player's entry written meanwhile is not lost.
    MemoryLock lock(directory);
    // Other movies' lines are carried over as they stand, the most recent of each path, oldest first.
    std::string old;
    std::vector<std::pair<std::string_view, std::string_view>> lines = rawLines(path, old);
    std::unordered_set<std::string_view> seen;
    for (const MovieMemoryEntry& entry : changed)
        seen.insert(entry.path);
    std::vector<std::string_view> kept;
    size_t room = maximumMovies;
    for (const MovieMemoryEntry& entry : changed)
        room -= entry.empty() ? 0 : 1;
    for (auto line = lines.rbegin(); line != lines.rend() && kept.size() < room; ++line) {
        if (seen.insert(line->second).second)
            kept.push_back(line->first);
    }
    std::string text = std::string(header) + "\n";
    text.reserve(old.size() + 1024);
    for (auto line = kept.rbegin(); line != kept.rend(); ++line) {
        text += *line;
        text += '\n';
    }
    for (const MovieMemoryEntry& e : changed) {
        if (e.empty())
            continue;
        text += std::to_string(e.shift) + "\t" + e.className + "\t";
        for (const auto& [name, value] : e.fields) {
            assert(fieldNameValid(name) && value.find_first_of("\t\n\r") == std::string::npos);
            text += name + "=" + value + "\t";
        }
        text += e.path + "\n";
    }
    if (replaceFile(path, text, durability))
        return true;
    debugLog("Movie memory: cannot write %s: %s.\n", path.c_str(), std::strerror(errno));
    return false;
}

namespace {

constexpr const char* positionField = "position";
constexpr const char* itemField = "item";
// A position this near either end is not worth resuming: the movie starts from its beginning.
constexpr uint32_t resumeFloor = 30000;
constexpr int64_t positionSaveInterval = 10000;

// The entry of the named path in the state file, the last line of it counting; the number of its lines.
std::optional<MovieMemoryEntry> rememberedEntry(const std::string& path, int& lines)
{
    std::optional<MovieMemoryEntry> remembered;
    lines = 0;
    for (MovieMemoryEntry& e : readLines(movieMemoryPath())) {
        if (e.path == path) {
            remembered = std::move(e);
            ++lines;
        }
    }
    return remembered;
}

// A decimal field's value; nothing for anything else (another version's text, a hand edit).
std::optional<uint32_t> numberField(const std::map<std::string, std::string>& fields, const char* name)
{
    auto found = fields.find(name);
    if (found == fields.end())
        return std::nullopt;
    const std::string& text = found->second;
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || value > UINT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

bool resumable(uint32_t position, uint32_t duration)
{
    return position >= resumeFloor && position < duration - duration / 20;
}

bool resumeOn(const System& sys)
{
    return sys.settings.resume != 0;
}

// Where the movie stands now, in its position field: kept when it may be resumed, forgotten when the movie
// played to its end or stands near either end. Left alone without a shown movie.
void notePosition(System& sys)
{
    MovieState& movie = sys.movie;
    if (!resumeOn(sys) || !movie.currentStream || movie.movieDuration == 0)
        return;
    MediaStream& stream = *movie.currentStream;
    uint32_t position = stream.currentTime();
    if (stream.ended == 0 && resumable(position, movie.movieDuration))
        movie.memoryFields[positionField] = std::to_string(position);
    else
        movie.memoryFields.erase(positionField);
}

// The movie's entry as it stands, and the entry of the list it came from: the item that plays, or the
// next one when it played to its end (none after the last: the list starts over).
std::vector<MovieMemoryEntry> currentEntries(const System& sys)
{
    const MovieState& movie = sys.movie;
    std::vector<MovieMemoryEntry> entries(1);
    MovieMemoryEntry& entry = entries.front();
    entry.path = movie.memoryPath;
    entry.shift = static_cast<int32_t>(
        static_cast<uint32_t>(movie.currentItem.timeshift) - static_cast<uint32_t>(movie.listTimeshift));
    const Caption* caption = movie.currentCaption.get();
    if (caption && !caption->classes.empty() && caption->shownClass != caption->defaultClass)
        entry.className = caption->shownClassName();
    entry.fields = movie.memoryFields;
    if (resumeOn(sys) && !movie.playedList.empty()) {
        MovieMemoryEntry list;
        list.path = movie.playedList;
        bool ended = movie.currentStream && movie.currentStream->ended != 0;
        if (!ended)
            list.fields[itemField] = std::to_string(movie.playedItem);
        else if (!movie.playedItemLast)
            list.fields[itemField] = std::to_string(movie.playedItem + 1);
        entries.push_back(std::move(list));
    }
    return entries;
}

// Writes what the user set for movies at their end: nothing set and nothing stored leaves the file alone.
void storeSetEntries(const std::vector<MovieMemoryEntry>& entries)
{
    std::vector<MovieMemoryEntry> stored = readMovieMemory(movieMemoryPath());
    bool known = false;
    bool empty = true;
    for (const MovieMemoryEntry& entry : entries) {
        empty = empty && entry.empty();
        for (const MovieMemoryEntry& e : stored)
            known = known || e.path == entry.path;
    }
    if (!known && empty)
        return;
    storeMovieMemory(movieMemoryPath(), entries);
}

}

void recallMovie(System& sys)
{
    MovieState& movie = sys.movie;
    MovieItem& item = movie.currentItem;
    movie.listTimeshift = item.timeshift;
    movie.captionRate = 1.0;
    movie.syncPieces.clear();
    movie.memoryPath = absolutePath(item.movie);
    movie.memoryFields.clear();
    movie.resumedAt = 0;
    movie.reopened = false;
    std::optional<MovieMemoryEntry> held = std::exchange(movie.heldMemory, std::nullopt);
    movie.positionSavedAt = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch()).count();
    // The list and the item this movie plays from, for the list's own entry.
    movie.playedList.clear();
    if (!movie.listMemoryPath.empty() && movie.movieList && movie.movieList->cursor) {
        movie.playedList = movie.listMemoryPath;
        int32_t index = 1;
        for (ListNode* node = movie.movieList->items; node && node != movie.movieList->cursor; node = nodeNext(node))
            ++index;
        movie.playedItem = index;
        movie.playedItemLast = nodeNext(movie.movieList->cursor) == nullptr;
    }
    // A path that would break its line is not remembered.
    if (movie.memoryPath.find_first_of("\t\n\r") != std::string::npos)
        movie.memoryPath.clear();
    // Memory held for another movie is not lost.
    if (held && held->path != movie.memoryPath) {
        storeSetEntries({ *held });
        held.reset();
    }
    if (movie.memoryPath.empty())
        return;
    int lines = 0;
    std::optional<MovieMemoryEntry> remembered;
    if (held) {
        remembered = std::move(held);
        movie.reopened = true;
    } else {
        remembered = rememberedEntry(movie.memoryPath, lines);
    }
    if (!remembered)
        return;
    // The movie's next save writes the file again with one line for it.
    if (lines > 1)
        debugLog("Movie memory: %d lines for %s; the last one is used.\n", lines, movie.memoryPath.c_str());
    const MovieMemoryEntry& e = *remembered;
    movie.memoryFields = e.fields;
    recallCaptionRate(movie);
    recallSyncPieces(movie);
    item.timeshift = static_cast<int32_t>(static_cast<uint32_t>(item.timeshift) + static_cast<uint32_t>(e.shift));
    Caption* caption = sys.movie.currentCaption.get();
    bool classShown = !e.className.empty() && caption && caption->showClassNamed(e.className);
    debugLog("Movie memory: shift %d%s%s restored.\n", e.shift, classShown ? ", class " : "",
        classShown ? e.className.c_str() : "");
}

uint32_t resumeMovie(System& sys)
{
    MovieState& movie = sys.movie;
    movie.resumedAt = 0;
    if (movie.reopened || !resumeOn(sys) || !movie.memoryFields.contains(positionField))
        return 0;
    std::optional<uint32_t> position = numberField(movie.memoryFields, positionField);
    if (!position) {
        debugLog("Movie memory: position \"%s\" is not a time; starting at 0.\n", movie.memoryFields[positionField].c_str());
        movie.memoryFields.erase(positionField);
        return 0;
    }
    // The file may have been replaced by a shorter one since.
    if (!resumable(*position, movie.movieDuration)) {
        debugLog("Movie memory: position %u is outside the movie's %u ms; starting at 0.\n", *position,
            movie.movieDuration);
        movie.memoryFields.erase(positionField);
        return 0;
    }
    debugLog("Movie memory: resuming at %u.\n", *position);
    seekMovie(sys, *position);
    movie.resumedAt = *position;
    char notice[48];
    std::snprintf(notice, sizeof notice, "이어 보기: %02u:%02u", *position / 60000u, (*position / 1000u) % 60u);
    showNotice(sys, notice, 3);
    return *position;
}

void saveMoviePosition(System& sys, int64_t nowMilliseconds)
{
    MovieState& movie = sys.movie;
    // A paused movie stays where it was saved; its end writes it again anyway.
    if (movie.memoryPath.empty() || !resumeOn(sys) || sys.playback.isPlaying == 0 || !movie.currentStream
        || movie.movieDuration == 0 || nowMilliseconds - movie.positionSavedAt < positionSaveInterval)
        return;
    movie.positionSavedAt = nowMilliseconds;
    notePosition(sys);
    // Unsynced: the rename keeps the file whole, and a save lost with the machine costs 10 s more at most.
    storeMovieMemory(movieMemoryPath(), currentEntries(sys), Durability::Unsynced);
}

void rememberMovie(System& sys)
{
    MovieState& movie = sys.movie;
    if (movie.memoryPath.empty())
        return;
    notePosition(sys);
    std::vector<MovieMemoryEntry> entries = currentEntries(sys);
    movie.memoryFields.clear();
    movie.memoryPath.clear();
    movie.playedList.clear();
    storeSetEntries(entries);
}

void holdMovieMemory(System& sys)
{
    MovieState& movie = sys.movie;
    if (movie.memoryPath.empty())
        return;
    keepHeardAudio(sys);
    notePosition(sys);
    movie.heldMemory = currentEntries(sys).front();
    // The stream's close then has nothing to write.
    movie.memoryFields.clear();
    movie.memoryPath.clear();
    movie.playedList.clear();
}

void storeHeldMovieMemory(System& sys)
{
    if (std::optional<MovieMemoryEntry> held = std::exchange(sys.movie.heldMemory, std::nullopt))
        storeSetEntries({ *held });
}

void recallList(System& sys, const char* listFile)
{
    MovieState& movie = sys.movie;
    movie.listMemoryPath.clear();
    std::string path = absolutePath(listFile);
    if (path.empty() || path.find_first_of("\t\n\r") != std::string::npos)
        return;
    movie.listMemoryPath = path;
    if (!resumeOn(sys) || !movie.movieList)
        return;
    int lines = 0;
    std::optional<MovieMemoryEntry> remembered = rememberedEntry(path, lines);
    if (!remembered)
        return;
    std::optional<uint32_t> item = numberField(remembered->fields, itemField);
    if (!item || *item < 1) {
        debugLog("Movie memory: no item in the entry of %s; the list starts at its first.\n", path.c_str());
        return;
    }
    MovieList& list = *movie.movieList;
    list.rewind();
    for (uint32_t i = 1; i < *item && list.cursorItem(); ++i)
        list.stepForward();
    // The list was cut shorter since.
    if (!list.cursorItem()) {
        debugLog("Movie memory: %s has no item %u; the list starts at its first.\n", path.c_str(), *item);
        list.rewind();
        return;
    }
    debugLog("Movie memory: %s goes on at item %u.\n", path.c_str(), *item);
}

}

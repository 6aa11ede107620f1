// What the player remembers of each movie file between runs: the user's own caption time shift (the
// J/K/U/I changes and sync snaps, on top of a list's timeshift), the caption class chosen with N and the
// caption rate of the snaps (the named field "rate"). It is kept in
// $XDG_STATE_HOME/sublumen/movies (default ~/.local/state/sublumen/movies), keyed by the movie's absolute
// path, at most the 1000 most recent movies, and replaced atomically.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sublumen {

struct System;

struct MovieMemoryEntry {
    std::string path;
    int32_t shift = 0;
    std::string className;
    // What other features remember of the movie, by name (lower case, digits, '_'); values hold no tab or
    // line break.
    std::map<std::string, std::string> fields;

    // Nothing worth a line.
    bool empty() const { return shift == 0 && className.empty() && fields.empty(); }
};

// The state file's path: "movies" in the state folder.
std::string movieMemoryPath();

// The entries of the state file, oldest first, one per movie: of two lines for the same movie the later
// one counts, in its own place. A file that cannot be parsed is set aside as "movies.unusable" and
// logged, and gives no entries; a missing file gives none silently.
std::vector<MovieMemoryEntry> readMovieMemory(const std::string& path);

// Whether a save waits until the new file is on the disk; the file is replaced atomically either way.
enum class Durability { Synced, Unsynced };

// Puts entry last (the most recent), dropping an older one of the same path and the oldest beyond 1000;
// an entry with nothing to remember is only dropped. Replaces the file atomically, holding the lock file
// "movies.lock" beside it from the read to the rename, so two players saving at once keep both entries;
// false when it could not be written (logged).
bool storeMovieMemory(const std::string& path, const MovieMemoryEntry& entry);
bool storeMovieMemory(const std::string& path, const std::vector<MovieMemoryEntry>& changed,
    Durability durability = Durability::Synced);

// At movie start, after the captions are loaded: adds the remembered shift to currentItem's, shows the
// remembered class and puts the remembered named fields in movie.memoryFields, where each feature reads
// and changes its own. At movie end (the next start, or shutdown): writes what the user set for the movie,
// memoryFields with it.
void recallMovie(System& sys);
void rememberMovie(System& sys);
// Before the same movie is opened again for a display rebuild: keeps what the user set for it in memory
// for the next recallMovie, which then reads no file, instead of writing it at the stream's close.
void holdMovieMemory(System& sys);
// After that reopen: writes the held memory when no start took it (the movie did not open again).
void storeHeldMovieMemory(System& sys);

// The "position" field (milliseconds) of a movie is kept while it plays: saved every 10 s and at its end,
// forgotten when it ends by itself or when it lies in the first 30 s or the last 5 %. A list's own entry
// (its file's absolute path) keeps the item that plays in its "item" field. All of it only with the
// resume setting on.

// Right after the movie is set running: seeks to the remembered position when there is one to resume
// and notes it for the status bar. Returns the position, or 0 when the movie starts at its beginning or
// was reopened from held memory (whoever reopened it puts it back where it was).
uint32_t resumeMovie(System& sys);
// Once per turn while the movie plays: at most every 10 s, writes the movie's entry (position included)
// without ending it. nowMilliseconds is a steady clock.
void saveMoviePosition(System& sys, int64_t nowMilliseconds);
// When the list has been built from listFile: puts the cursor on the item that played last.
void recallList(System& sys, const char* listFile);

}

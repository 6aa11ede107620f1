// Building the movie list from the start-up path, finding the caption file of a movie and loading the
// caption track of the movie being started.
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

namespace sublumen {

struct System;

// Makes sys.movie.movieList from sys.startup.startPath: the items of a list file, or the one movie
// with the caption file found beside it (or picked, when asksmi is on). 0, or -12 without memory.
int buildMovieList(System& sys);

// Looks beside the movie in path for its caption file, trying ".smi", ".sami", ".sub", then ".srt",
// ".vtt", ".ass" and ".ssa" in place of the movie's extension, then those four with a language part
// before them (movie.ko.srt, movie.en.vtt; Korean first), then the picture caption files ".sup" and
// ".idx". 1 with path holding the file found, else 0 with path holding the last of the first three
// names tried. A name that would not fit into the buffer is not tried.
int findCaptionFile(char (&path)[1024]);

// Every caption file beside the movie, in the order findCaptionFile looks for them (so its find comes
// first): each suffix in place of the extension, then every file with a language part.
std::vector<std::string> captionFilesBeside(const char* movie);

// Replaces sys.movie.currentCaption (or the picture captions, for a picture caption file or stream) by
// the track for sys.movie.currentItem and records in the item's caption the file used, "없음" when there
// is none, or "[ASF]" for the ASF file's own script. Returns 0.
int loadCurrentCaption(System& sys);

// The caption question's filters: caption files first (every format's endings), every file second. Both
// cases of each suffix, as the desktop's choosers match patterns exactly.
const char* captionFileFilter();

// Shows the file-open dialog with title and filter (pairs of a name and its patterns, as the dialog
// record takes them; none lists every file); non-zero when a file was picked (buffer, of size
// characters, then holds its full path), 0 when the dialog was cancelled or failed.
int chooseFile(HINSTANCE instance, HWND owner, const char* title, char* buffer, int size, const char* filter = nullptr);

}

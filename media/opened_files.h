// Files handed to the player from outside while it starts or runs: a caption file as the start path,
// and files dropped on the window. The one place that turns such a file into a movie start or a caption.
#pragma once

#include "app/command_argument.h"

#include <string>
#include <vector>

namespace sublumen {

struct System;

enum class FileKind { Movie, List, Caption };

// What a file is by its name: a movie list (".slm", ".ml"), a caption file (".smi", ".sami", ".sub",
// ".srt", ".vtt", ".ass", ".ssa"), else a movie.
FileKind fileKindOf(const char* path);

// The movie beside a caption file with the caption's name and a movie suffix the media backend knows,
// the common containers first; for a text caption file, failing that, without its language part
// (movie.ko.srt gives movie.avi). 0 with movie holding its path, -1 when there is none.
int findMovieForCaption(const char* caption, char (&movie)[1024]);

// Starts path as if it had been the start path: the list is built from it and its first movie started
// (the current movie is released the normal way). A caption file starts the movie beside it with that
// caption. The movie start's result, or -1 when a caption file has no movie.
int openAsStartPath(System& sys, const char* path);

// Loads a caption file for the current movie, as the caption question would, from the current time on.
int loadDroppedCaption(System& sys, const char* path);

// A drop on the window: the first movie or list in it starts; without one, the first caption file loads
// for the current movie (or, with no movie running, starts the movie beside it). Every other file is
// ignored with a log line. Returns the result of what was done, -1 when nothing was.
int openDroppedFiles(System& sys, const std::vector<std::string>& files);

// The command of a drop: openDroppedFiles with argument.files.
void openFiles(System& sys, CommandArgument argument);

}

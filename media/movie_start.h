// Changing the movie being played.
#pragma once

#include <cstdint>

namespace sublumen {

struct System;

// Drops the current stream and caption track, moves the list cursor by step, opens the entry there,
// places its picture, loads its captions and sets it running. 0 when the movie runs; -1 no entry,
// -2 no memory for the stream, -3 the stream failed to open, -4 a movie of no duration.
int startMovie(System& sys, int32_t step);
// startMovie, and, in a list of more than one movie, on past every entry that cannot be played in the
// direction of the step (forward for 0), each named for the status bar. Going back, the first movie turns
// the travel forward; forward, it ends after the last movie. startMovie's result for the last attempt.
int startPlayableMovie(System& sys, int32_t step);

// Move the system's MPEG-4 decoder module aside, and back, around the creation of a stream.
void hideSystemDecoder();
void restoreSystemDecoder();

}

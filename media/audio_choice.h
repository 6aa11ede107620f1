// Which of the movie's audio streams is heard: the one remembered for the movie, else the first in the
// language of `audiolang`, else the one the file flags as default, else the first; W moves on to the next.
// The choice of W is remembered per movie under the memory field "audio" (the stream's number in the file).
#pragma once

#include "media/media_stream.h"

#include <cstddef>
#include <string>
#include <vector>

namespace sublumen {

struct System;

// The stream a movie starts with, by number in the file; -1 when it has none. remembered is the memory
// field's text ("" when none), used only when it names one of tracks.
int32_t startAudioOf(const std::vector<AudioTrack>& tracks, const std::string& remembered, const char* audiolang);

// At movie start, after the memory is recalled and before the stream runs: makes the start stream heard.
// A remembered stream the movie no longer has is logged and forgotten.
void chooseStartAudio(System& sys);

// W: the next audio stream after the one heard, passing over one that cannot be played (logged); a movie
// with one stream or none only logs. The stream chosen is remembered for the movie.
void cycleAudio(System& sys);

// Before the movie's memory is written: a stream chosen with W that then gave way to the old one (its
// sound could not be decoded) is not remembered; the stream heard is.
void keepHeardAudio(System& sys);

// The overlay's text for the stream heard, "음성:2/3 [eng]" (the tag only when there is one); false,
// with buffer untouched, when no sound is played.
bool audioLine(System& sys, char* buffer, size_t size);

}

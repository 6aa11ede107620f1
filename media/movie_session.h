// The movie session: the one owner of the current movie's stream and caption track, and the one path
// by which they are opened, closed, run and moved in time. Every move of the stream in time goes
// through here, so the stall rule of frame composition always starts over after one.
#pragma once

#include "app/command_argument.h"
#include "media/movie_handles.h"

#include <cstdint>
#include <limits>
#include <memory>

namespace sublumen {

struct System;
class Caption;
class MediaStream;

// Opens path on the current display as the movie's stream; null when there is no memory for it.
MediaStream* openMovieStream(System& sys, const char* path);
// Loads fileName as the movie's caption track; null when there is no memory for it.
Caption* openMovieCaption(System& sys, const char* fileName);
// Loads the picture caption file fileName (.sup, .idx, a VobSub .sub) as the movie's caption: a track
// whose entries are the captions' text as it is read, and whose pictures are drawn as authored. With none,
// the track is that of the movie's picture caption stream numbered stream (-1: the one the movie reads by
// itself), which the stream fills as it is read. Null without memory.
Caption* openPictureCaption(System& sys, const char* fileName, int32_t stream = -1);
// Loads a caption file of either kind: picture captions through openPictureCaption, every other file
// through openMovieCaption. Whether a track was made.
bool openCaptionFile(System& sys, const char* fileName);
// Makes the track that the movie's own caption stream fills, of the stream's kind (text or picture);
// false when the movie has no caption stream.
bool openStreamCaption(System& sys);

// Releases and deletes the stream, leaving none; nothing when there is none. The movie ends here, so
// what the user set for it is remembered first (rememberMovie).
void closeMovieStream(System& sys);
// Unloads and deletes the caption tracks (the second one too), leaving none; nothing when there is none.
void closeMovieCaption(System& sys);
// The same for the first caption alone, the second one staying.
void closeFirstCaption(System& sys);
// Loads fileName (none: an empty track) as the second caption track, shown above the first; null when
// there is no memory for it.
Caption* openSecondCaption(System& sys, const char* fileName);
// The same for picture captions, as openPictureCaption makes them; the second caption is drawn as text.
Caption* openSecondPictureCaption(System& sys, const char* fileName, int32_t stream);
void closeSecondCaption(System& sys);
// The whole movie: the stream, then the caption track; the duration becomes 0.
void closeMovie(System& sys);

// Seeks the stream to milliseconds with the stall rule started over; -1 without a stream, else the
// stream's answer.
int seekMovie(System& sys, uint32_t milliseconds);
// Sets the stream running (1) or stopped (0) with the stall rule started over; -1 without a stream,
// else the stream's answer.
int runMovie(System& sys, int mode);
// While the movie is paused, shows the picture after (forward) or before the one shown, with the stall
// rule started over: 0 when it moves, 1 when it stays (the first or the last picture, sound only, the
// last step's picture not shown yet), 2 while the movie runs (steps only while paused), -1 without a
// stream.
int stepMovieFrame(System& sys, bool forward);

// What Space does: isPlaying becomes playing (1 runs, 0 pauses), the stream runs or stops with it, and a
// movie paused in a window lets the main loop wait for messages. Nothing without a stream.
void setMoviePlaying(System& sys, int32_t playing);
// The commands of the command table (ui/commands.h) that run and move the movie. Each does nothing
// without a stream.
// Space: a paused movie runs, a running one pauses.
void togglePause(System& sys, CommandArgument);
// The desktop's Pause and Play: what Space does, when the movie plays, or is paused.
void pauseMovie(System& sys, CommandArgument);
void playMovie(System& sys, CommandArgument);
// The desktop's Stop: paused, at the start.
void stopMovie(System& sys, CommandArgument);
// argument.value milliseconds on, back when negative, within 0 and the movie's end.
void seekBy(System& sys, CommandArgument argument);
// The number that stands for the end of the movie, whatever its length.
constexpr int64_t movieEnd = std::numeric_limits<int64_t>::max();
// To argument.value milliseconds (not negative), at most the end.
void seekTo(System& sys, CommandArgument argument);
// The desktop's SetPosition: to argument.value milliseconds, nothing for a time outside the movie.
void setPosition(System& sys, CommandArgument argument);
// To the start of the previous (-1), the current (0) or the next (1) caption of what is shown, the caption
// time shift taken off so that the caption starts as the picture gets there. In study mode the current
// caption becomes the loop instead (loopCurrentCaption).
void seekCaption(System& sys, CommandArgument argument);
// Paused: the picture before (argument.value < 0) or after; see stepMovieFrame.
void stepFrame(System& sys, CommandArgument argument);

// Whether the shown movie's stream was moved (a seek, a start, Space, a skip) and has not answered an
// update with a picture, an end or an error since: its picture at the new place is still to be shown.
bool pictureAwaited(const System& sys);
// Adds the captions the movie's caption streams have read since the last call to the tracks that are
// those streams' (the first and the second caption, text or picture).
void takeStreamCaptions(System& sys);
// Decodes the next picture, takes the stream's new captions (takeStreamCaptions) and applies the stall rule to the answer, which it returns: a decoder busy
// for more frames in a row than the limit is skipped to the current time, or 3 s before it when the
// stream was already moved since it last delivered. Only while a stream exists.
int advanceMovie(System& sys);

}

// The captions found their movie: F5 syncs the first caption to the speech of the movie, Shift+F5 to
// another caption track (the second caption, else a caption stream of the movie not shown), and F6 saves
// the first caption as shown. The reading of the movie and the search run as one job on a worker of low
// priority (platform::MovieScan) while the movie plays on; once per turn the main loop takes a finished
// job and applies it to the movie's sync (shift, rate and pieces, kept in the movie memory like the sync
// keys' own). At most one job runs; the status bar tells its progress and its outcome.
#pragma once

#include "app/command_argument.h"
#include "caption/caption_sync.h"
#include "platform/win32.h"

#include <cstdint>
#include <memory>
#include <string>

namespace sublumen {

struct System;
struct MovieState;

// Wakes a waiting main loop when a job moved on or ended.
constexpr UINT WM_CAPTIONJOB = 0x8000 + 0x21;

class CaptionJob;
struct EndCaptionJob {
    void operator()(CaptionJob* job) const;
};
using CaptionJobHandle = std::unique_ptr<CaptionJob, EndCaptionJob>;

// The jobs' part of the movie state: the job that runs.
struct CaptionJobs {
    CaptionJobHandle running;
};

// F5 (argument 0): starts syncing the first caption to the speech of the movie (the audio stream heard);
// Shift+F5 (argument 1): the same with another caption track as the reference. Pressed while a job runs,
// either ends it.
void syncCaptions(System& sys, CommandArgument argument);
// F6: saves the first caption with the movie's sync applied (caption/caption_saving.h): a caption file in
// its own format under its own name, the movie's text caption stream or an ASF file's script as
// MOVIE.srt (MOVIE.LANG.srt); then shows the saved file with the sync back at the list's own shift.
void saveShownCaptions(System& sys);

// Once per turn: applies a job that finished, and ends one whose movie or caption is no longer shown.
// Its outcome is the notice for five seconds.
void takeCaptionJob(System& sys);
// Whether the job's progress moved since the frame last composed (a paused movie composes one for it).
bool captionJobFrameWanted(System& sys);
// The status bar's words for the job while it runs: "싱크 맞추는 중 37%"; "" without one.
std::string captionJobText(const System& sys);

// Sets the movie's sync and keeps it in the memory's fields: caption time = stream time × rate + shift,
// moved on by pieces. The last sync snap is forgotten.
void setMovieSync(MovieState& movie, int32_t shift, double rate, SyncPieces pieces);

}

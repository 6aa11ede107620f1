// The captions found their movie: F5 syncs the first caption to the speech of the movie, Shift+F5 to
// another caption track (the second caption, else a caption stream of the movie not shown), and F6 saves
// the first caption as shown. The reading of the movie and the search run as one job on a worker of low
// priority (platform::MovieScan) while the movie plays on; once per turn the main loop takes a finished
// job and applies it to the movie's sync (shift, rate and pieces, kept in the movie memory like the sync
// keys' own). At most one job runs; the status bar tells its progress and its outcome.
#pragma once

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

// The jobs' part of the movie state: the job that runs, and what the status bar says of the last one
// (UTF-8) and since when (calendar seconds).
struct CaptionJobs {
    CaptionJobHandle running;
    std::string notice;
    uint32_t noticeSince = 0;
    // The notice's age at the last frame composed for it.
    uint32_t noticeShownAge = UINT32_MAX;
};

// F5: starts syncing the first caption to the speech of the movie (the audio stream heard); pressed while
// a job runs, cancels it.
void syncToSpeech(System& sys);
// Shift+F5: the same with another caption track as the reference.
void syncToTrack(System& sys);
// F6: saves the first caption with the movie's sync applied (caption/caption_saving.h): a caption file in
// its own format under its own name, the movie's text caption stream or an ASF file's script as
// MOVIE.srt (MOVIE.LANG.srt); then shows the saved file with the sync back at the list's own shift.
void saveShownCaptions(System& sys);

// Once per turn: applies a job that finished, and ends one whose movie or caption is no longer shown.
void takeCaptionJob(System& sys);
// Whether the status bar changed since the frame last composed (a paused movie composes one for it).
bool captionJobFrameWanted(System& sys);
// The status bar's words for the job: "싱크 맞추는 중 37%" while one runs, its outcome for five seconds
// after; "" otherwise.
std::string captionJobText(const System& sys);

// Sets the movie's sync and keeps it in the memory's fields: caption time = stream time × rate + shift,
// moved on by pieces. The last sync snap is forgotten.
void setMovieSync(MovieState& movie, int32_t shift, double rate, SyncPieces pieces);

}

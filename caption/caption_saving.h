// Captions saved as they are shown: the times moved to where the movie's sync shows them, written so
// that every player finds the corrected file under the name it looks for. A caption file is written
// again in its own format and encoding, its first original kept beside it; captions without a file of
// their own (a caption stream of the movie, captions read from pictures) become a new SubRip file beside
// the movie. Nothing is ever half written, and a failure leaves every file as it was.
#pragma once

#include "caption/caption_sync.h"
#include "caption/caption_writers.h"
#include "caption/text_cues.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sublumen {

class Caption;

// The first original of a caption file is kept beside it under its name and this.
constexpr const char* originalCaptionSuffix = ".orig";

struct CaptionSaving {
    bool saved = false;
    // The file written (or to be written).
    std::string path;
    // Why it was not saved, in the words of the status bar; and in the log's.
    std::string failure;
    std::string detail;
};

// Where caption times go once the sync that shows them is gone: each to the stream time at which the map
// (shift, rate, pieces) shows it, moved by the shift that stays applied (a list's own), never below 0.
CaptionTimeMove captionTimeMove(int32_t shift, double rate, const SyncPieces& pieces, int32_t keptShift);

// Writes the caption file at path again with its times moved, in its own format and encoding, replacing
// it through a temporary file; the file it replaces is kept as path + originalCaptionSuffix unless one is
// there already. shown is the track the player shows from that file: a file that no longer reads as it
// is not written (it changed on the disk). A file whose times do not move is left as it is.
CaptionSaving saveCaptionFile(const std::string& path, const Caption& shown, const CaptionTimeMove& move);

// Writes cues (UTF-8) with their times moved as a new SubRip file at path; a file of that name is never
// replaced. This is how captions without a file of their own are saved.
CaptionSaving saveCuesAsSubRip(const std::string& path, std::vector<TextCue> cues, const CaptionTimeMove& move);

// The name a movie's own captions are saved under beside it: MOVIE.srt, or MOVIE.LANG.srt when they have
// a language.
std::string subRipPathFor(const std::string& moviePath, const std::string& language);

}

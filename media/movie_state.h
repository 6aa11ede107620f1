// The movie group of the system record: the movie list, the current movie's stream and caption track,
// and what the movie memory, the sync keys and the status bar's notices keep about it.
#pragma once

#include "caption/caption_sync.h"
#include "media/caption_sync_jobs.h"
#include "media/movie_handles.h"
#include "media/movie_item.h"
#include "media/movie_list.h"
#include "media/movie_memory.h"
#include "platform/caption_text_reader.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace sublumen {

// Movie list, caption discovery and movie start. The stream and caption track are opened and closed
// only through the movie session (media/movie_session.h).
struct MovieState {
    std::unique_ptr<MovieList> movieList;
    MovieItem currentItem {};
    // Declared before the stream so that, as at every movie change, the stream goes first.
    CaptionHandle currentCaption;
    // The second caption, drawn above the first with its own time shift (media/caption_choice.h); none
    // while it is off. Its choice and the first one's, as the movie memory keeps them ("" the movie's
    // default), and the overlay's name for it.
    CaptionHandle secondCaption;
    int32_t secondShift = 0;
    std::string captionChoice;
    std::string secondChoice;
    std::string secondName;
    StreamHandle currentStream;
    uint32_t movieDuration = 0;
    // The reader of picture captions as text, made when a track of pictures is first shown and kept for
    // every movie after (media/picture_reading.h), and whether it found its data missing (said once).
    std::unique_ptr<platform::CaptionTextReader> captionReader;
    bool pictureReadingFailed = false;
    // The movie whose remembered settings were recalled at its start (absolute path), and the list's own
    // time shift, so that its end can tell what the user changed; empty when nothing is to be written.
    std::string memoryPath;
    int32_t listTimeshift = 0;
    // The movie's remembered named fields (audio stream, position, …), each read and changed by its own
    // feature and written with the rest at the movie's end.
    std::map<std::string, std::string> memoryFields;
    // Caption time = stream time × captionRate + currentItem's timeshift (caption/caption_sync.h): 1 unless
    // the user's sync snaps fixed it; remembered per movie in memoryFields. The last snap, and the movie
    // it was made in, is what the next snap pairs with; it is not remembered.
    double captionRate = 1.0;
    // Where the movie and the captions were cut differently (the automatic sync): the pieces of the map
    // after its first, remembered in memoryFields like the rate.
    SyncPieces syncPieces;
    std::optional<SyncPoint> syncSnap;
    std::string syncSnapMovie;
    // The file name of the last list movie that could not be opened and was passed over (the notice tells
    // of it); empty when there is none.
    std::string unopenedMovie;
    // Resuming: the list file the list was built from (absolute; empty for a single movie), and the list and
    // item (1-based, and whether it is the last) the playing movie came from; the remembered position the
    // movie resumed at (0: it did not; the notice tells of it); when the position was last saved while
    // playing (steady milliseconds).
    std::string listMemoryPath;
    std::string playedList;
    int32_t playedItem = 0;
    bool playedItemLast = false;
    uint32_t resumedAt = 0;
    int64_t positionSavedAt = 0;
    // What the user set for the movie, held in memory while a display rebuild opens it again
    // (holdMovieMemory), and whether the movie's last start took it from there: such a start is a reopen,
    // which neither reads the state file nor resumes.
    std::optional<MovieMemoryEntry> heldMemory;
    bool reopened = false;
    // The automatic sync and the saving of captions (F5, Shift+F5, F6).
    CaptionJobs captionJobs;
};

}

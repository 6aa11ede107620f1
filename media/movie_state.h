// The movie group of the system record: the movie list, the current movie's stream and caption track,
// and what the movie memory, the sync keys and the status bar's notices keep about it.
#pragma once

#include "caption/caption_sync.h"
#include "media/movie_item.h"
#include "media/movie_list.h"
#include "media/movie_session.h"

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
    // The picture captions shown beside (or instead of) the caption track: of a picture caption file, or
    // of the movie's picture caption stream when pictureCaptionOfStream.
    PictureCaptionHandle pictureCaption;
    bool pictureCaptionOfStream = false;
    StreamHandle currentStream;
    uint32_t movieDuration = 0;
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
};

}

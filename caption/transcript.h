// The transcript of a caption track: every caption it shows, in order, with its times and its text as
// drawn. It is what the transcript panel lists and searches, whatever kind of track it comes from.
#pragma once

#include "caption/caption.h"
#include "platform/gdi/text_decoding.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sublumen {

struct TranscriptLine {
    // Caption times: when the caption appears, and when it is cleared or replaced (endMarker when
    // nothing follows it).
    uint32_t start = 0;
    uint32_t end = 0;
    // UTF-8, with the line feeds of a caption of several lines.
    std::string text;
};

// A caption text of a track with that encoding as UTF-8.
std::string captionTextUtf8(std::string_view text, platform::TextEncoding encoding);

// The captions the track shows, blanks left out: the whole track, or the chosen class of a SAMI file
// with several languages (all of them stacked, as drawn, when all are shown). An entry replaced at its
// own start by a later one is never shown and is left out too. Only those shown at some moment from
// caption time from up to (not including) to.
std::vector<TranscriptLine> transcriptLines(const Caption& track, uint32_t from = 0, uint32_t to = endMarker);

}

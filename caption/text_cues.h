// Timed text cues, as the SubRip, WebVTT and SSA/ASS readers and the caption streams of a movie give
// them, and their conversion into the entries of a caption track.
#pragma once

#include "caption/caption.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sublumen {

// One cue: shown from start until end (milliseconds, end excluded), its text UTF-8 without markup.
struct TextCue {
    uint32_t start;
    uint32_t end;
    std::string text;
    // -1, or for a caption of a TV caption stream the key of the window it shows (its stream and window):
    // its end may be told again, so a later cue with the same key and start replaces the one held.
    int64_t replaceKey = -1;
};

// At most this many cues running at once are shown together (the earliest started); the text of one
// entry is cut at maximumShownText bytes. Both keep a file of piled-up cues from costing more than a
// few times its own size.
constexpr size_t maximumCuesTogether = 8;
constexpr size_t maximumShownText = 2047;

// The plain text of one decoded caption: for an ASS dialogue line (assLine) the text field after the
// leading fields, otherwise the whole text. Override blocks {...} are removed, \N and \n become line
// breaks, \h a blank, <br> a line break and every other <tag> vanishes; leading and trailing blanks
// and line breaks are trimmed.
std::string plainCueText(std::string_view assOrText, bool assLine);

// The text of a WebVTT cue as shown: every <tag> removed (<c.class>, <v Name>, <b>, timestamps and the
// like; <br> is a line break), character references decoded, zero-width spaces and direction marks
// removed, leading and trailing blanks and line breaks trimmed.
std::string plainWebVttText(std::string_view text);

// text with its character references decoded: &amp; &lt; &gt; &quot; &apos;, &nbsp; as a blank,
// &lrm; and &rlm; as nothing, and numeric ones (&#233; &#xE9;); the first five also without the
// semicolon. Anything else stays as written.
std::string decodeCharacterReferences(std::string_view text);

// The entries of a track from cues: an entry wherever what is shown changes, so every cue gives one at
// its start and, unless another cue starts or is still running then, an empty one at its end. Cues
// running at once are joined by line breaks in start order (equal starts in the given order). A cue
// whose end is not after its start is left out. No end marker is added. O(n log n).
std::vector<ClassEntry> entriesOfCues(std::vector<TextCue> cues);

// How many of cues entriesOfCues leaves out for an end not after the start.
size_t cuesWithoutDuration(const std::vector<TextCue>& cues);

}

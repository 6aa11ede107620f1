// Caption files written back in their own format with their times moved. A writer takes the text of a
// file as its reader sees it (UTF-8 or CP949 bytes without the byte-order mark; line ends as written),
// moves every time that reader would read through newTime, and keeps every other byte: a file written
// with the times unmoved is the file itself. A time that the move leaves where it was keeps its own
// spelling; a moved one is written in the format's usual form. Nothing after a Ctrl-Z, where the readers
// stop, is touched.
#pragma once

#include "caption/text_cues.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sublumen {

// Where a caption time (milliseconds) goes; the answer is never negative.
using CaptionTimeMove = std::function<int64_t(int64_t)>;

// Signature shared by the writers of every caption format.
using CaptionRetimer = std::string (*)(std::string_view text, const CaptionTimeMove& newTime);

// SAMI: the Start of every SYNC tag.
std::string retimeSami(std::string_view text, const CaptionTimeMove& newTime);
// SUB (SubViewer): both times of a range line, the time of a single-time line.
std::string retimeSub(std::string_view text, const CaptionTimeMove& newTime);
// SubRip: both times of every timing line; an end meaning "until the end" stays.
std::string retimeSubRip(std::string_view text, const CaptionTimeMove& newTime);
// WebVTT: both times of every timing line, and the time stamps inside cue texts.
std::string retimeWebVtt(std::string_view text, const CaptionTimeMove& newTime);
// SSA/ASS: Start and End of every Dialogue and Comment event; styles and everything else stay.
std::string retimeSsa(std::string_view text, const CaptionTimeMove& newTime);

// A SubRip file of cues (UTF-8 texts), in order of start, numbered from 1; a cue without a visible
// text or without a duration is left out.
std::string subRipOfCues(std::vector<TextCue> cues);

}

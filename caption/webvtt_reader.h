// WebVTT caption files, read by the player itself: the media library's reader gives up on a whole file
// at a STYLE or REGION block, a line of blanks between cues or a time without a fraction, and reads a
// two-digit fraction as thousandths. Also the cue timing lines of SubRip files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sublumen {

// One cue as a caption file writes it: its span in milliseconds, unchecked, and its text.
struct TimedText {
    int64_t start;
    int64_t end;
    std::string text;
};

// The times of a cue timing line "START --> END [settings]", blanks allowed before each part. A time
// is [hours:]minutes:seconds with an optional fraction after '.' or ',' of any number of digits (".08"
// is 80 ms; digits after the third are ignored). endFrom and endTo are where END is written, startFrom
// and startTo where START is.
struct CueTiming {
    int64_t start;
    int64_t end;
    size_t endFrom;
    size_t endTo;
    size_t startFrom;
    size_t startTo;
};
std::optional<CueTiming> readCueTiming(std::string_view line);

// One such time written at at, at moved past it; none when there is none.
std::optional<int64_t> readCueTime(std::string_view text, size_t& at);

// Every cue of a WebVTT file's UTF-8 text, in the order of the file. Blocks without a timing line
// (the header and its legacy lines, STYLE, REGION, NOTE) show nothing; a line of blanks between cues
// ends the cue like an empty line; CR LF and lone CR end lines alike. The texts are plain
// (plainWebVttText).
std::vector<TimedText> readWebVtt(std::string_view utf8);

}

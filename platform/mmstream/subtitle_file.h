// Text caption files read through FFmpeg's subtitle demuxers and decoders: SubRip, WebVTT and SSA/ASS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class SubtitleFormat {
    SubRip,
    WebVtt,
    Ass,  // SSA and ASS alike
};

// One decoded caption as the library gives it: its span in milliseconds (as written, unchecked) and
// its text, an ASS dialogue line (assLine) or plain text.
struct SubtitleRect {
    int64_t start;
    int64_t end;
    std::string text;
    bool assLine;
};

struct SubtitleText {
    // False when the library could not read the bytes as the format at all; failure says why.
    bool opened = false;
    std::string failure;
    std::vector<SubtitleRect> rects;
    // What was read but cannot become text: packets without a time or that failed to decode, and
    // picture captions.
    size_t undecodedPackets = 0;
    size_t pictureRects = 0;
};

// Reads the UTF-8 text of a whole caption file in the given format.
SubtitleText readSubtitleText(std::string_view utf8, SubtitleFormat format);

}

// The caption file formats, in one table: the name endings of each, how a file named otherwise is
// recognised by what it holds, its reader, and whether it is drawn as authored. Choosing a reader, caption
// discovery, the caption dialog's filter and what a drop opens all read it.
#pragma once

#include "caption/caption_writers.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sublumen {

class Caption;

enum class CaptionFormat { Sami, Sub, AsfScript, SubRip, WebVtt, Ass, Sup, VobSub };

// Where caption discovery looks for a format beside a movie, group after group: the movie's name with the
// first group's endings, then with the text formats' (and with a language part before them), then the
// picture formats'. Never for the ASF script, which is the movie itself.
enum class LookedFor { Never, First, AsText, AsPicture };

struct CaptionFormatRow {
    CaptionFormat format;
    const char* name;
    // The name endings, in the order they are looked for; any case matches.
    std::vector<const char*> suffixes;
    LookedFor lookedFor;
    // Whether a file named as the format `namedAs` is in fact of this one, by its name and its first bytes
    // (head); null when only the name tells.
    bool (*recognise)(const char* fileName, std::string_view head);
    CaptionFormat namedAs;
    // Reads the file into a caption track: 0 or the reader's negative code. Null for picture captions,
    // which the picture caption track reads (readPictureCaptionFile).
    int (Caption::*read)(const char* fileName);
    // Writes the file's text again with its times moved; null for a format that cannot be written back.
    CaptionRetimer retime;
    bool picture;
    // Its captions carry their author's styling and are drawn as authored unless our style is chosen.
    bool authored;
};

// The rows, in the order of discovery within each group.
std::span<const CaptionFormatRow> captionFormats();
const CaptionFormatRow& captionFormatRow(CaptionFormat format);
// The format the name's ending names; null for none (ASF names the movie's own script).
const CaptionFormatRow* captionFormatOfName(const char* fileName);
// The format a caption file is read as: the one its name names, unless its name and first bytes say it
// is another (a .sub holding VobSub pictures; a text caption file under SAMI's name or any other name);
// SAMI for every other file.
const CaptionFormatRow& captionFormatOfFile(const char* fileName);
// The format the text caption reader reads text (the whole file, as it reads it) in: SAMI when its first
// tag says so, WebVTT when its first line does, else the text format the name names, else the one the
// first bytes show, else SubRip.
const CaptionFormatRow& textCaptionFormat(const char* fileName, std::string_view text);
// The format a caption file whose text is text is read in, as the caption track chooses its reader.
const CaptionFormatRow& captionFormatOfText(const char* fileName, std::string_view text);
// A text caption format recognised by the first bytes alone (WebVTT, SSA/ASS, SubRip); null for none.
const CaptionFormatRow* textFormatOfContent(std::string_view head);
// The endings of the formats discovery looks for in group, in table order.
std::vector<const char*> captionSuffixes(LookedFor group);
// Whether fileName ends as a caption file beside a movie may (any format discovery looks for).
bool isCaptionFileName(const char* fileName);
// Whether fileName ends as a text caption format the text caption reader reads (.srt, .vtt, .ass, .ssa).
bool isTextCaptionName(const char* fileName);
// The patterns of every ending discovery looks for, in lower case and then in capitals, as a file dialog's
// filter takes them: "*.smi;*.sami;…;*.SMI;…".
std::string captionFilePatterns();

}

// Which captions a movie shows: Y moves the caption on among every caption file beside the movie, every
// caption stream inside it and none; Shift+Y does the same for a second caption drawn above the first,
// which may also be another language class of the shown SAMI file. Both choices are remembered per movie
// in the memory fields "caption" and "caption2", the second caption's own time shift (Shift+J/K) in
// "caption2_shift". Without a choice the movie shows what caption discovery found.
#pragma once

#include "app/command_argument.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sublumen {

struct System;

struct CaptionChoice {
    enum class Kind { File, Stream, Class, Off };
    Kind kind = Kind::Off;
    std::string path;       // File: the caption file (for Class, the shown file)
    int32_t stream = -1;    // Stream: its number in the movie
    std::string className;  // Class: the SAMI class
    bool picture = false;   // File, Stream: picture captions (PGS, VobSub, DVD, DVB); as the second, their text
    // How the memory names it: "file:" and the name relative to the movie's folder, "stream:2",
    // "class:ENCC" or "off". A file's name holding a tab or a line break has none.
    std::string key;
    // How the overlay names it: the file's path, "[stream 2, kor]", "path [ENCC]" or "끔".
    std::string label;
};

// The choices of the first caption, in the order Y goes through them: the movie item's own caption file
// (a list's, a picked one) when it is not beside the movie, the files beside it as discovery finds them,
// the ASF file's own script, the caption streams in file order, and none.
std::vector<CaptionChoice> firstCaptionChoices(const System& sys);
// The choices of the second caption, in the order Shift+Y goes through them: those of the first but the
// one it shows, then the other classes of the shown SAMI file, and none.
std::vector<CaptionChoice> secondCaptionChoices(const System& sys);

// At movie start, once the captions are loaded and the memory recalled: names what the first caption
// shows, and shows the remembered choices when the movie still has them (one it has no more is logged
// and forgotten).
void chooseStartCaptions(System& sys);

// After the caption track was loaded anew (a dropped caption file): takes what it shows as the first
// caption's choice, from which Y goes on, and forgets the remembered one.
void noteShownCaption(System& sys);

// Y and Shift+Y: the next choice after the one shown; remembered for the movie. Logged.
void cycleFirstCaption(System& sys);
void cycleSecondCaption(System& sys);
// Shows the caption file at path as the first caption and remembers the choice (a file F6 just saved).
void showFirstCaptionFile(System& sys, const std::string& path);
// Shift+J and Shift+K while a second caption is shown (without one they are J and K): the second
// caption's time shift by step milliseconds; remembered for the movie.
void shiftSecondCaption(System& sys, int32_t step);
// The command of Shift+J and Shift+K: the second caption's shift by argument.value milliseconds while
// one is shown, the first caption's (what J and K do) while none is.
void shiftSecondCaptionOrFirst(System& sys, CommandArgument argument);

// The caption time of the second caption at the stream's time: its own shift, no rate.
uint32_t secondCaptionTime(const System& sys, uint32_t streamTime);

// The overlay's words for the second caption, " 둘째:name,shift" in UTF-8; "" while it is off.
std::string secondCaptionLine(const System& sys);

}

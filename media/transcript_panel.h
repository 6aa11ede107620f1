// The transcript panel (F3): the first caption track's lines with their times, the one shown now
// followed as the movie plays, the second caption's line under each, filtered as the user types. While
// it is open it takes the moving keys, Enter, Backspace and typed text; the keys call in here, and
// frame composition once per frame (followTranscript).
#pragma once

#include "app/command_argument.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace sublumen {

struct System;
struct TranscriptRow;

// F3: opens the panel on the captions of the movie shown, or closes it.
void toggleTranscript(System& sys);
// Esc while open.
void closeTranscript(System& sys);

// The moves of the chosen line, as the keys hand them over.
constexpr int64_t transcriptUp = 0, transcriptDown = 1, transcriptPageUp = 2, transcriptPageDown = 3,
                  transcriptFirst = 4, transcriptLast = 5;
// Moves the chosen line by argument.value (one of the moves above); the panel stops following the movie
// until Enter or an emptied query.
void moveTranscriptCursor(System& sys, CommandArgument argument);
// Enter: the movie goes to the chosen line's start (the time shift and rate taken off, as the caption
// stepping keys do) and the panel follows it again.
void seekToTranscriptLine(System& sys);

// The query takes this many bytes at most (a few hundred characters).
constexpr size_t maximumTranscriptQuery = 2000;

// One byte of typed text (WM_CHAR: the UTF-8 of a character arrives byte by byte).
void typeIntoTranscript(System& sys, unsigned char byte);
// The input method's text being composed changed (WM_IME_COMPOSITION).
void composeInTranscript(System& sys);
// Backspace: the last character of the query goes.
void eraseFromTranscript(System& sys);

// Once per composed frame: makes the rows again when the captions changed (another movie, another
// track, a stream's new captions, the shifts) and keeps the chosen line on the caption shown.
void followTranscript(System& sys);

// The chosen line while the panel is open and lists any; none otherwise.
const TranscriptRow* chosenTranscriptRow(const System& sys);
// How many lines are listed, and the row (an index into rows) listed at place i.
size_t listedTranscriptRows(const System& sys);
uint32_t listedTranscriptRow(const System& sys, size_t i);
// The row whose caption is shown at caption time t, or the last one before it when a blank is shown;
// -1 before the first.
int64_t transcriptRowAt(const System& sys, uint32_t t);
// The query as the panel shows it: what was typed and what is being composed.
std::string transcriptQuery(const System& sys);

}

// Captions spoken as they appear (the speakcaptions setting), through the desktop's speech service, in
// the language of their track; a caption is cut off by the next one. Without a speech service the status
// bar says so once and the captions go on unspoken.
#pragma once

#include <cstdint>
#include <string>

namespace sublumen {

struct System;

// Once per turn while a movie is shown, after its stream was advanced: speaks the first caption if it
// appeared since the last turn. captionTime is the first caption's time now.
void speakCaptions(System& sys, uint32_t captionTime);
// F8: speakcaptions on or off, told on the status bar; on speaks the caption shown now, off cuts off what
// is being said.
void switchCaptionSpeech(System& sys);
// Once per turn: reaches the speech service once captions are to be spoken; the first time it is found
// missing, the status bar says so (once a run).
void noteSpeechService(System& sys);
// The language to speak a caption of the current track in: the track's own (a SAMI class's, the caption
// stream's tag, a language in the caption file's name) as a two-letter code, else Korean for a text with
// Hangul and English for any other.
std::string captionLanguage(const System& sys, const std::string& text);

}

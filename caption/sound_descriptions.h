// Captions written for viewers who cannot hear carry more than the dialogue: sound descriptions in
// brackets ("[음악]", "(laughs)"), lyrics between music notes and the names of speakers ("JOHN:",
// "- 민수:"). The player can leave them out, for viewers who hear the sound themselves.
#pragma once

#include <string>
#include <string_view>

namespace sublumen {

// Whether the captions shown keep their sound descriptions, lyrics and speaker labels (as written).
enum class SoundDescriptions {
    Shown,
    Hidden,
};

// text (UTF-8, lines broken by LF, CR or CR LF) without its sound descriptions, lyrics and speaker
// labels, its lines joined by LF; "" when nothing but those was there, so the caption drops out.
// Brackets nest and may span lines; a bracket that never closes is kept as written. A label is a
// line's first one to three words (Hangul, or Latin capitals, with digits) before a colon and a blank
// or the line's end, so a time such as "10:30" stays.
std::string withoutSoundDescriptions(std::string_view text);
// The same for the text of an SSA/ASS event, override tags and all: unchanged when there is nothing to
// leave out; otherwise the tags that open it (placement, style) and what is left of its text, line
// breaks as \N, or "" when nothing is left.
std::string eventWithoutSoundDescriptions(std::string_view text);

}

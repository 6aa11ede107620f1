// How SSA/ASS and picture captions look: as their author styled them (the default; picture captions as
// their pictures) or in our caption style (the text alone, for picture captions the text read from them,
// with our face, outline, shadow and placement keys; a picture caption not read yet is still drawn as its
// picture). V switches between the two; the choice is remembered per movie under the memory field
// "captionlook" ("ours" when our style was chosen). Other kinds of captions have no styling of their own
// and are always drawn in our style.
#pragma once

namespace sublumen {

struct System;

// The memory field, and its one value; without it a movie's styled captions are shown as authored.
inline constexpr const char* captionLookField = "captionlook";
inline constexpr const char* ourCaptionLook = "ours";

// Whether the current captions carry their own styling (an SSA/ASS file or stream the renderer read, or
// picture captions).
bool hasAuthoredCaptions(const System& sys);
// Whether they are drawn as authored now: they carry their styling and our style was not chosen.
bool authoredCaptionsShown(const System& sys);
// V: switches the movie between the two looks and remembers the choice; logged. Captions without
// styling of their own keep our style, and the log says so.
void switchCaptionLook(System& sys);
// The overlay's word for the look shown: "원본" or "자체"; "" for captions without styling of their own.
const char* captionLookName(const System& sys);

}

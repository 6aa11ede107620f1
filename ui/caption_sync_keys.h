// One-key caption sync: Ctrl+K and Ctrl+J snap a caption to the present moment, Ctrl+0 takes the sync back.
#pragma once

#include "caption/caption.h"

namespace sublumen {

struct System;

// Sets the shift so that the next caption of what is shown (Next) or the last one that started (Current)
// starts at the stream's current time; paired with the movie's previous snap, when that lies at least
// rateSnapDistance away, it sets the caption rate too. Logged; without such a caption nothing changes.
void snapCaption(System& sys, CaptionStep step);
// Back to the list's own shift and rate 1, and forgets the last snap.
void clearCaptionSync(System& sys);

}

// A trace of the pictures' path for the playback benchmark (tools/bench/playback): when the
// environment names a file in SUBLUMEN_FRAME_TRACE, each event is appended to it as one line
// "<kind> <wall-clock microseconds> <value>[ <cause>]". Kinds: D a picture delivered (value: its start
// in ms, followed by the stream's clock in ms at that moment), S a due picture skipped because its
// successor was due too (cause: "decoder" when it was decoded only after its successor was due,
// "caller" when it was ready but nobody took it in time) or because it was too late to be shown
// (cause "late"), L a decoded picture that came out more than its own length late, K a packet left
// undecoded while the decoder skips to the next keyframe (value: its start in ms, -1 when unknown), P a
// presentation (value 0), A sound handed to the audio device (value: where it starts in the movie, in ms).
// Without the variable nothing is
// written and each call costs one test.
#pragma once

#include <cstdint>

namespace platform {

bool frameTraceOn();
void traceFrameEvent(char kind, int64_t value, const char* cause = nullptr);
// A D event: the picture's start and the clock when it was handed out, both in ms.
void traceFrameDelivery(int64_t start, int64_t clock);

}

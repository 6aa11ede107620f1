// A trace of the pictures' path for the playback benchmark (tools/bench/playback): when the
// environment names a file in SUBLUMEN_FRAME_TRACE, each event is appended to it as one line
// "<kind> <wall-clock microseconds> <value>[ <cause>]". Kinds: D a picture delivered (value: its start
// in ms), S a due picture skipped because its successor was due too (cause: "decoder" when it was
// decoded only after its successor was due, "caller" when it was ready but nobody took it in time),
// L a decoded picture that came out late, P a presentation (value 0). Without the variable nothing is
// written and each call costs one test.
#pragma once

#include <cstdint>

namespace platform {

bool frameTraceOn();
void traceFrameEvent(char kind, int64_t value, const char* cause = nullptr);

}

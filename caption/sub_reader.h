// The pieces of the SUB reader that work on one field or one line.
#pragma once

#include <cstdint>

namespace sublumen {

// A time field hours:minutes:seconds.hundredths, any tail left out, in hundredths of a second. Each part
// reads as a decimal integer (optional sign, digits up to the first other character, none gives 0);
// a part beyond the 32-bit range counts as the nearest limit, and the sum wraps modulo 2^32.
int32_t parseSubTime(const char* field);

// Cleans one text line in place: bracket tags of the tag table become their replacement characters and
// the acute accent used as an apostrophe becomes "'", without touching double-byte characters. The
// result is never longer than the line.
void filterSubLine(char* line);

}

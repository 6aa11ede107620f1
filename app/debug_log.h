// The one diagnostic channel of the system: the debugger output and, once start-up names it, DEBUG.LOG.
#pragma once

#include <string>

namespace sublumen {

// Formats one piece of text (at most 8191 bytes; longer output is cut), sends it to the debugger
// output and appends it to the log file when one is set. Returns the number of bytes kept.
int debugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Names the log file (at most 1023 characters kept); null stops writing to a file. Returns 0.
int setLogFile(const char* path);

// Where the log of a program in programDir goes: DEBUG.LOG beside the program when that folder is
// writable, else DEBUG.LOG in the user's state folder (made when missing), so that an installed
// program's log is not lost.
std::string debugLogPathFor(const char* programDir);

// The log file's path as set, empty when none.
const char* logFilePath();

// From now on, lines logged while no log file is set are also kept, so that start-up can write what
// happened before its log began once the log is there.
void holdLogLines();
// Appends the lines kept since holdLogLines to the log file (dropped when none is set) and keeps no more.
void writeHeldLogLines();

}

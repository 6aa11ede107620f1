// The one diagnostic channel of the system: the debugger output and, once start-up names it, DEBUG.LOG.
#pragma once

namespace sublumen {

// Formats one piece of text (at most 8191 bytes; longer output is cut), sends it to the debugger
// output and appends it to the log file when one is set. Returns the number of bytes kept.
int debugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Names the log file (at most 1023 characters kept); null stops writing to a file. Returns 0.
int setLogFile(const char* path);

// The log file's path as set, empty when none.
const char* logFilePath();

// From now on, lines logged while no log file is set are also kept, so that start-up can write what
// happened before its log began once the log is there.
void holdLogLines();
// Appends the lines kept since holdLogLines to the log file (dropped when none is set) and keeps no more.
void writeHeldLogLines();

}

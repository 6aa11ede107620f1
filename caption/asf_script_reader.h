// The steps of the ASF script reader, which takes captions from the script commands in an ASF header.
#pragma once

#include <cstdint>
#include <cstdio>

namespace sublumen {

// Bytes of the text buffer that readScriptText fills; the conversion uses at most scriptTextLimit of them,
// terminator included.
constexpr int scriptTextBufferSize = 1024;
constexpr int scriptTextLimit = 1000;
// Code units of a command name that are kept; the rest of a longer name is skipped.
constexpr int scriptNameKeep = 1000;

// Scans the file for the first command type named text, TEXT or CAPTION. Returns the Commands Count with
// the file at the first command, -1 when the file ended (or failed) first, -2 at eight 0xFF bytes.
int findTextScript(FILE* file);

// Reads a command's Presentation Time and Type Index; returns the time less 3100 ms, 0 when it is less.
uint32_t readScriptTime(FILE* file);

// Reads a command's name into output (scriptTextBufferSize bytes) as UTF-8 text, cut to whole characters
// within scriptTextLimit bytes with its terminator, and skips what is not kept. Returns the code units
// kept, or -1 when the file ended before the name's length.
int readScriptText(FILE* file, char* output);

}

// What every fuzz target shares: a private scratch folder for the input file, the input written there
// as the routine under test will read it, and the check that stops the run when a property breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

// Once per process, before the first input: makes the scratch folder (removed at exit) and keeps the
// debug log quiet (no log file, no debugger output) so that logging costs next to nothing.
void prepareProcess();

// The path of name inside the scratch folder.
std::string scratchFile(const std::string& name);

// Replaces the file at path with exactly the given bytes.
void writeInput(const std::string& path, const uint8_t* data, size_t size);

// Stops the run with a report when a property of the result does not hold; the fuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                                 \
    do {                                                                                                      \
        if (!(condition))                                                                                     \
            ::fuzzing::checkFailed(#condition, __FILE__, __LINE__);                                         \
    } while (0)

[[noreturn]] void checkFailed(const char* condition, const char* file, int line);

}

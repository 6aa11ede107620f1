// What a command of the command table (ui/commands.h) is given. Every subsystem's handlers take it, so it
// lives beside the system record rather than with the table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sublumen {

struct System;

// The key's number (a time in milliseconds, a step, a digit), a rate, or files.
struct CommandArgument {
    int64_t value = 0;
    double rate = 0.0;
    const std::vector<std::string>* files = nullptr;
};

using CommandHandler = void (*)(System& sys, CommandArgument argument);

// A handler for a routine that needs nothing but the system.
template<void (*Routine)(System&)> void withoutArgument(System& sys, CommandArgument)
{
    Routine(sys);
}

}

// The program: the command line becomes the tail the entry routine expects, one path whose blanks
// are part of it.
#include "app/debug_log.h"
#include "app/main_loop.h"
#include "app/system.h"
#include "platform/kernel.h"

#include <memory>
#include <string>

namespace {

void logFromPlatform(const char* text)
{
    sublumen::debugLog("%s", text);
}

}

int main(int argc, char** argv)
{
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            tail += ' ';
        tail += argv[i];
    }
    platform::setLogSink(logFromPlatform);
    auto sys = std::make_unique<sublumen::System>();
    return sublumen::winMain(*sys, nullptr, tail.c_str());
}

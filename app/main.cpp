// The program: the command line becomes the tail the entry routine expects, one path whose blanks
// are part of it. Only a command line that is exactly --help, -h or --version, and names no file,
// is answered here instead.
#include "app/debug_log.h"
#include "app/main_loop.h"
#include "app/system.h"
#include "app/usage.h"
#include "platform/kernel.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

// 1 when the command line asked for help or the version and was answered, 0 when it is a path.
int answerOption(int argc, char** argv)
{
    if (argc != 2 || _access(argv[1], 0) == 0)
        return 0;
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::fputs(sublumen::usageText().c_str(), stdout);
        return 1;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("sublumen %s\n", SUBLUMEN_VERSION);
        return 1;
    }
    return 0;
}

void logFromPlatform(const char* text)
{
    sublumen::debugLog("%s", text);
}

}

int main(int argc, char** argv)
{
    if (answerOption(argc, argv))
        return 0;
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

// The program: the command line becomes the tail the entry routine expects, one path whose blanks
// are part of it. Only a command line that is exactly --help, -h or --version, and names no file,
// is answered here instead.
#include "app/debug_log.h"
#include "app/main_loop.h"
#include "app/system.h"
#include "platform/kernel.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr const char* usageText =
    "Usage: sublumen [MOVIE | LIST.slm | LIST.ml | CAPTION.smi]\n"
    "\n"
    "Plays a movie with its captions, or the movies of a list. The whole command line is one path,\n"
    "blanks included; * and ? in the file name pick the first match. A caption file (.smi, .sami, .sub)\n"
    "plays the movie beside it with the same name. Without a path a file chooser asks for a movie.\n"
    "A movie, list or caption file dropped on the window is opened the same way.\n"
    "\n"
    "Keys: Esc quit, Space pause, Alt+Enter full screen/window, F1 information and keys,\n"
    "  Left/Right 6 s, PgUp/PgDn 60 s, Home/End, click to seek, ,/. previous/next movie,\n"
    "  J/K/U/I caption time -1/+1/-10/+10 s, D/F caption size, G face, Up/Down caption height,\n"
    "  S shadow, O outline, R reverse, A placement, C captions on/off, B status bar, H colour,\n"
    "  M picture fit, L enhance, P flip, 1-8 resolution, ` 16/32 bits, Keypad +/- volume,\n"
    "  T always on top, Q quick skip, E end screen, X ask for a caption at the next start,\n"
    "  N caption language (each in turn, then all), Ctrl+Left/Right previous/next caption,\n"
    "  Ctrl+Up current caption again.\n"
    "Media keys and the desktop's sound menu control it through MPRIS (org.mpris.MediaPlayer2.sublumen).\n"
    "\n"
    "Settings: $XDG_CONFIG_HOME/sublumen/settings (default ~/.config/sublumen/settings)\n"
    "Debug log: DEBUG.LOG beside the program file when that folder is writable, else\n"
    "  $XDG_STATE_HOME/sublumen/DEBUG.LOG (default ~/.local/state/sublumen/DEBUG.LOG)\n"
    "Caption timing and language per movie: $XDG_STATE_HOME/sublumen/movies\n"
    "\n"
    "  -h, --help     this text\n"
    "  --version      the version\n";

// 1 when the command line asked for help or the version and was answered, 0 when it is a path.
int answerOption(int argc, char** argv)
{
    if (argc != 2 || _access(argv[1], 0) == 0)
        return 0;
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::fputs(usageText, stdout);
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

#include "app/usage.h"

#include "ui/commands.h"

namespace sublumen {

namespace {

const char* const usageHead =
    "Usage: sublumen [MOVIE | LIST.slm | LIST.ml | CAPTION.smi]\n"
    "\n"
    "Plays a movie with its captions, or the movies of a list. The whole command line is one path,\n"
    "blanks included; * and ? in the file name pick the first match. A caption file (.smi, .sami, .sub)\n"
    "plays the movie beside it with the same name. Without a path a file chooser asks for a movie.\n"
    "A movie, list or caption file dropped on the window is opened the same way.\n"
    "Picture captions (movie.sup, movie.idx + movie.sub, PGS/DVD/DVB streams) sit where they were\n"
    "authored over the picture; Up/Down move them, D/F size them, forced ones show with C off.\n"
    "They are read as text while the movie plays (Korean and English, the next two minutes first), so\n"
    "study mode, the caption keys and the second caption work on them; V shows the text read.\n"
    "Recordings of television (.ts, .m2ts, .tp) offer their closed captions as caption streams:\n"
    "CEA-708 services ([708-1, kor], Korean in EUC-KR), CEA-608 CC1-CC4 ([608-CC1]) and teletext\n"
    "pages. Interlaced pictures are deinterlaced, one picture per field.\n"
    "\n"
    "Keys:\n";

const char* const usageTail =
    "\n"
    "Media keys and the desktop's sound menu control it through MPRIS (org.mpris.MediaPlayer2.sublumen).\n"
    "\n"
    "Settings: $XDG_CONFIG_HOME/sublumen/settings (default ~/.config/sublumen/settings)\n"
    "Debug log: DEBUG.LOG beside the program file when that folder is writable, else\n"
    "  $XDG_STATE_HOME/sublumen/DEBUG.LOG (default ~/.local/state/sublumen/DEBUG.LOG)\n"
    "Caption timing, language and choice, audio stream per movie: $XDG_STATE_HOME/sublumen/movies\n"
    "Texts read from picture captions: $XDG_STATE_HOME/sublumen/captiontext (at most 8 MiB)\n"
    "Study cards (Ctrl+S): $XDG_DATA_HOME/sublumen/cards.tsv (default ~/.local/share/sublumen/cards.tsv),\n"
    "  one tab-separated line each, with the line's sound and picture in media/ beside it\n"
    "A movie starts with the audio stream of the language set as audiolang in the settings (e.g. kor).\n"
    "Resume: a movie or list started again goes on where it was (\"이어 보기: 12:34\");\n"
    "  setting resume 0 turns it off; Home goes to the start.\n"
    "Sound: a sound device that goes away is looked for once a second while the picture plays on\n"
    "  (\"소리 장치 끊김\"); with none at the start the movie plays silently.\n"
    "HiDPI on X11: GDK_SCALE, else Xft.dpi / 96 (1 to 4): a window keeps its size at scale 1 and its\n"
    "  captions, status bar and overlay are drawn at device pixels, as in a full-screen mode below the\n"
    "  desktop's size.\n"
    "\n"
    "  -h, --help     this text\n"
    "  --version      the version\n";

}

std::string usageText()
{
    return std::string(usageHead) + keysHelpText() + usageTail;
}

}

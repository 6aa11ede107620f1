#include "app/usage.h"

namespace sublumen {

const char* const usageText =
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
    "  M picture fit, L enhance, P flip, 1-8 resolution, 9 the desktop's size, ` 16/32 bits,\n"
    "  Keypad +/- volume, T always on top, Q quick skip, E end screen, W next audio stream,\n"
    "  X ask for a caption at the next start, N caption language (each in turn, then all),\n"
    "  Ctrl+Left/Right previous/next caption, Ctrl+Up current caption again,\n"
    "  Ctrl+K/J the next/last caption starts now (a second snap 5 min away sets the rate), Ctrl+0 undo,\n"
    "  Ctrl+,/. previous/next frame while paused,\n"
    "  F12 screenshot with the captions, Shift+F12 the movie's frame alone at its own size\n"
    "  (PNG in the pictures folder: XDG_PICTURES_DIR of user-dirs.dirs, else ~/Pictures).\n"
    "  Z pause at the end of each caption (Ctrl+Up then loops that caption), F2 loop: A, B, off.\n"
    "Media keys and the desktop's sound menu control it through MPRIS (org.mpris.MediaPlayer2.sublumen).\n"
    "\n"
    "Settings: $XDG_CONFIG_HOME/sublumen/settings (default ~/.config/sublumen/settings)\n"
    "Debug log: DEBUG.LOG beside the program file when that folder is writable, else\n"
    "  $XDG_STATE_HOME/sublumen/DEBUG.LOG (default ~/.local/state/sublumen/DEBUG.LOG)\n"
    "Caption timing and language, audio stream per movie: $XDG_STATE_HOME/sublumen/movies\n"
    "A movie starts with the audio stream of the language set as audiolang in the settings (e.g. kor).\n"
    "Resume: a movie or list started again goes on where it was (\"이어 보기: 12:34\");\n"
    "  setting resume 0 turns it off; Home goes to the start.\n"
    "\n"
    "  -h, --help     this text\n"
    "  --version      the version\n";

}

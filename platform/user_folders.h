// The per-user folders of the desktop that the program writes to besides its settings file.
#pragma once

#include <string>

namespace platform {

// $XDG_STATE_HOME/sublumen (default ~/.local/state/sublumen); not created here.
std::string stateFolder();

// $XDG_DATA_HOME/sublumen (default ~/.local/share/sublumen): what the user keeps, the study cards;
// not created here.
std::string dataFolder();

// The desktop's pictures folder: XDG_PICTURES_DIR of $XDG_CONFIG_HOME/user-dirs.dirs (default
// ~/.config), "$HOME/..." expanded, else ~/Pictures; without a trailing slash, not created here.
std::string picturesFolder();

// True when this process may create files in the folder (its permissions, a read-only mount).
bool folderWritable(const char* path);

// Makes the folder and its missing parents; true when it exists afterwards.
bool makeFolders(const std::string& path);

}

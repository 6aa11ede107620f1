// The per-user folders of the desktop that the program writes to besides its settings file.
#pragma once

#include <string>

namespace platform {

// $XDG_STATE_HOME/sublumen (default ~/.local/state/sublumen); not created here.
std::string stateFolder();

// True when this process may create files in the folder (its permissions, a read-only mount).
bool folderWritable(const char* path);

// Makes the folder and its missing parents; true when it exists afterwards.
bool makeFolders(const std::string& path);

}

#include "platform/user_folders.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace platform {

std::string stateFolder()
{
    // A relative XDG_STATE_HOME is to be ignored.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return std::string(state) + "/sublumen";
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* entry = getpwuid(getuid());
        home = entry && entry->pw_dir ? entry->pw_dir : "/tmp";
    }
    return std::string(home) + "/.local/state/sublumen";
}

bool folderWritable(const char* path)
{
    // The effective ids decide what the process may do, and a read-only mount refuses even root.
    return path && *path && faccessat(AT_FDCWD, path, W_OK | X_OK, AT_EACCESS) == 0;
}

bool makeFolders(const std::string& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

}

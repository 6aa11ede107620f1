#include "platform/user_folders.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* entry = getpwuid(getuid());
        home = entry && entry->pw_dir ? entry->pw_dir : "/tmp";
    }
    return home;
}

// The value of a user-dirs.dirs line, its quotes and backslash escapes taken off.
std::string unquoted(std::string_view value)
{
    if (value.size() < 2 || value.front() != '"' || value.back() != '"')
        return std::string(value);
    std::string text;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
        if (value[i] == '\\' && i + 2 < value.size())
            ++i;
        text += value[i];
    }
    return text;
}

}

std::string stateFolder()
{
    // A relative XDG_STATE_HOME is to be ignored.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return std::string(state) + "/sublumen";
    return homeFolder() + "/.local/state/sublumen";
}

std::string dataFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return std::string(data) + "/sublumen";
    return homeFolder() + "/.local/share/sublumen";
}

std::string picturesFolder()
{
    const std::string home = homeFolder();
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string dirs = (config && config[0] == '/' ? std::string(config) : home + "/.config") + "/user-dirs.dirs";
    std::ifstream file(dirs);
    std::string line;
    std::string folder;
    // The file is shell assignments; the last one counts, as it would in a shell.
    while (std::getline(file, line)) {
        std::string_view text(line);
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        constexpr std::string_view key = "XDG_PICTURES_DIR=";
        if (text.substr(0, key.size()) != key)
            continue;
        text.remove_prefix(key.size());
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
            text.remove_suffix(1);
        std::string value = unquoted(text);
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
            folder = home + value.substr(5);
        else if (value.rfind("${HOME}", 0) == 0 && (value.size() == 7 || value[7] == '/'))
            folder = home + value.substr(7);
        else if (!value.empty() && value[0] == '/')
            folder = value;
    }
    if (folder.empty())
        folder = home + "/Pictures";
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
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

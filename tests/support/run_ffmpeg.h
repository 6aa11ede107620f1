// The ffmpeg program, for fixtures the library's own muxers are not worth driving by hand for.
#pragma once

#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testing_support {

// Runs ffmpeg with arguments (quiet, overwriting); whether it ran and succeeded.
inline bool runFfmpeg(std::vector<std::string> arguments)
{
    std::vector<std::string> all = { "ffmpeg", "-nostdin", "-loglevel", "error", "-y" };
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}

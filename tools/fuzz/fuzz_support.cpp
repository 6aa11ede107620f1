#include "fuzz_support.h"

#include "app/debug_log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <unistd.h>

namespace fuzzing {

namespace {

std::string scratchFolder;

void removeScratchFolder()
{
    std::error_code ignored;
    if (!scratchFolder.empty())
        std::filesystem::remove_all(scratchFolder, ignored);
}

[[noreturn]] void fail(const char* what, const std::string& path)
{
    std::fprintf(stderr, "fuzz: %s %s: %s\n", what, path.c_str(), std::strerror(errno));
    std::abort();
}

}

void prepareProcess()
{
    if (!scratchFolder.empty())
        return;
    sublumen::setLogFile(nullptr);
    ::unsetenv("SUBLUMEN_DEBUG_OUTPUT");
    // Memory-backed when possible: a disk file system may push every rewritten input out to the disk.
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp == '/' ? tmp : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/sublumen-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        fail("cannot make", pattern);
    scratchFolder = pattern;
    std::atexit(removeScratchFolder);
}

std::string scratchFile(const std::string& name)
{
    prepareProcess();
    return scratchFolder + "/" + name;
}

void writeInput(const std::string& path, const uint8_t* data, size_t size)
{
    // Overwritten in place and then cut to size: ext4 flushes a file that was truncated to nothing and
    // written again on its close, which would make every run wait for the disk.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    }
    if (fd < 0)
        fail("cannot write", path);
    for (size_t at = 0; at < size;) {
        ssize_t n = ::write(fd, data + at, size - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("cannot write", path);
        at += static_cast<size_t>(n);
    }
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0)
        fail("cannot cut", path);
    ::close(fd);
}

void checkFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "fuzz: %s:%d: property broken: %s\n", file, line, condition);
    std::abort();
}

}

#include "platform/kernel.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <dirent.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

void OutputDebugStringA(const char* text)
{
    if (!text || !std::getenv("SUBLUMEN_DEBUG_OUTPUT"))
        return;
    std::fputs(text, stderr);
}

// A module known by its file; the program itself is the null instance.
struct InstanceObject {
    std::string path;
};

HINSTANCE platform::moduleInstance(const char* path)
{
    // Modules stay loaded for the life of the process, as their handles may be kept anywhere.
    static std::mutex mutex;
    static std::deque<InstanceObject> modules;
    std::lock_guard lock(mutex);
    return &modules.emplace_back(InstanceObject { path ? path : "" });
}

DWORD GetModuleFileNameA(HINSTANCE instance, char* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    if (instance) {
        const std::string& path = instance->path;
        // A path that does not fit is an error, as a module path cut short would name another file.
        if (path.empty() || path.size() >= size)
            return 0;
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
    // A link that fills the buffer may have been cut short.
    if (n <= 0 || static_cast<size_t>(n) >= size - 1)
        return 0;
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

UINT GetSystemDirectoryA(char* buffer, UINT size)
{
    const char* dir = std::getenv("SUBLUMEN_SYSTEM_DIR");
    if (!dir || !*dir || !buffer || size == 0)
        return 0;
    size_t n = std::strlen(dir);
    if (n >= size)
        return 0;
    std::memcpy(buffer, dir, n + 1);
    return static_cast<UINT>(n);
}

DWORD GetCurrentDirectoryA(DWORD size, char* buffer)
{
    if (!buffer || size == 0)
        return 0;
    std::vector<char> cwd(PATH_MAX + 1);
    if (!getcwd(cwd.data(), cwd.size()))
        return 0;
    size_t n = std::strlen(cwd.data());
    // Like the system call: a buffer too small is left alone and the size it needs is answered.
    if (n >= size)
        return static_cast<DWORD>(n + 1);
    std::memcpy(buffer, cwd.data(), n + 1);
    return static_cast<DWORD>(n);
}

BOOL SetCurrentDirectoryA(const char* path)
{
    return path && chdir(path) == 0 ? TRUE : FALSE;
}

int renameFile(const char* from, const char* to)
{
    if (!from || !to)
        return -1;
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // A file system without the no-replace rename: a hard link refuses an existing name just the same.
    if (link(from, to) != 0)
        return -1;
    unlink(from);
    return 0;
}

void Sleep(DWORD milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int _access(const char* path, int mode)
{
    if (!path)
        return -1;
    int how = (mode & 4) ? R_OK : F_OK;
    if (mode & 2)
        how |= W_OK;
    return access(path, how) == 0 ? 0 : -1;
}

namespace {

// Whether name matches pattern, where only "*" (any run of bytes) and "?" (one byte) are wildcards;
// every other byte, brackets and backslashes included, stands for itself.
bool matchesWildcards(const char* pattern, const char* name)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

}

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data)
{
    if (!pattern || !*pattern || !data)
        return INVALID_HANDLE_VALUE;
    const char* slash = std::strrchr(pattern, '/');
    const char* namePattern = slash ? slash + 1 : pattern;
    if (*namePattern == '\0' || std::strlen(namePattern) >= sizeof data->cFileName)
        return INVALID_HANDLE_VALUE;
    if (!std::strpbrk(namePattern, "*?")) {
        // A plain name needs no listing, which a folder that may be entered but not read refuses.
        struct stat info {};
        if (::stat(pattern, &info) != 0)
            return INVALID_HANDLE_VALUE;
        std::snprintf(data->cFileName, sizeof data->cFileName, "%s", namePattern);
        return reinterpret_cast<HANDLE>(1);
    }
    std::string directory = slash ? std::string(pattern, static_cast<size_t>(slash - pattern) + 1) : std::string(".");
    DIR* listing = opendir(directory.c_str());
    if (!listing)
        return INVALID_HANDLE_VALUE;
    // The first match in name order, like a sorted directory listing; names that begin with a dot are
    // hidden unless the pattern asks for them.
    std::string first;
    bool found = false;
    while (const dirent* entry = readdir(listing)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (name[0] == '.' && namePattern[0] != '.')
            continue;
        if (matchesWildcards(namePattern, name) && (!found || std::strcmp(name, first.c_str()) < 0)) {
            first = name;
            found = true;
        }
    }
    closedir(listing);
    if (!found)
        return INVALID_HANDLE_VALUE;
    std::snprintf(data->cFileName, sizeof data->cFileName, "%s", first.c_str());
    return reinterpret_cast<HANDLE>(1);
}

BOOL FindClose(HANDLE find)
{
    return find && find != INVALID_HANDLE_VALUE ? TRUE : FALSE;
}

static platform::CalendarClock calendarClock = nullptr;

uint32_t calendarSeconds()
{
    if (calendarClock)
        return calendarClock();
    return static_cast<uint32_t>(std::time(nullptr));
}

namespace platform {

static LogSink logSink = nullptr;

void setCalendarClock(CalendarClock clock)
{
    calendarClock = clock;
}

void setLogSink(LogSink sink)
{
    logSink = sink;
}

void platformLog(const char* format, ...)
{
    if (!logSink)
        return;
    char buffer[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    logSink(buffer);
}

void lowerThreadPriority()
{
    const id_t thread = static_cast<id_t>(gettid());
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, thread);
    if (errno == 0)
        setpriority(PRIO_PROCESS, thread, std::min(now + 19, 19));
}

}

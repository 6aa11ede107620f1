#include "platform/kernel.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <glob.h>
#include <mutex>
#include <string>
#include <thread>
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

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data)
{
    if (!pattern || !*pattern || !data)
        return INVALID_HANDLE_VALUE;
    glob_t found {};
    // GLOB_NOCHECK is not used: a pattern that matches nothing finds nothing, as a missing file does.
    int rc = glob(pattern, GLOB_NOSORT | GLOB_NOESCAPE, nullptr, &found);
    if (rc != 0 || found.gl_pathc == 0) {
        globfree(&found);
        return INVALID_HANDLE_VALUE;
    }
    // The first match in name order, like a directory listing.
    const char* first = found.gl_pathv[0];
    for (size_t i = 1; i < found.gl_pathc; ++i)
        if (std::strcmp(found.gl_pathv[i], first) < 0)
            first = found.gl_pathv[i];
    const char* name = std::strrchr(first, '/');
    name = name ? name + 1 : first;
    std::snprintf(data->cFileName, sizeof data->cFileName, "%s", name);
    globfree(&found);
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

}

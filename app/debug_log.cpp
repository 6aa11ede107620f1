#include "app/debug_log.h"

#include "app/path_text.h"
#include "platform/kernel.h"
#include "platform/user_folders.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace sublumen {

namespace {
char logPath[1024] = "";
bool holding = false;
std::string heldLines;

void appendToLogFile(const char* text, size_t length)
{
    // Opened and closed on every call so the log is complete even if the process dies.
    if (FILE* file = std::fopen(logPath, "a")) {
        std::fwrite(text, 1, length, file);
        std::fclose(file);
    }
}
}

int debugLog(const char* format, ...)
{
    char buffer[8192];
    va_list args;
    va_start(args, format);
    int produced = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (produced < 0) {
        buffer[0] = '\0';
        produced = 0;
    }
    // vsnprintf cuts at the buffer's end and always terminates; report what was kept.
    int kept = produced < static_cast<int>(sizeof buffer) ? produced : static_cast<int>(sizeof buffer) - 1;

    OutputDebugStringA(buffer);
    if (logPath[0] != '\0')
        appendToLogFile(buffer, static_cast<size_t>(kept));
    else if (holding)
        heldLines.append(buffer, static_cast<size_t>(kept));
    return kept;
}

int setLogFile(const char* path)
{
    if (!path)
        logPath[0] = '\0';
    else
        boundedCopy(logPath, path, sizeof logPath);
    return 0;
}

std::string debugLogPathFor(const char* programDir)
{
    if (platform::folderWritable(programDir))
        return std::string(programDir) + "/DEBUG.LOG";
    std::string state = platform::stateFolder();
    platform::makeFolders(state);
    return state + "/DEBUG.LOG";
}

const char* logFilePath()
{
    return logPath;
}

void holdLogLines()
{
    holding = true;
    heldLines.clear();
}

void writeHeldLogLines()
{
    if (logPath[0] != '\0' && !heldLines.empty())
        appendToLogFile(heldLines.data(), heldLines.size());
    holding = false;
    heldLines.clear();
}

}

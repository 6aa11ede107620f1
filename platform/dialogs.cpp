#include "platform/dialogs.h"

#include "platform/dialog_signals.h"
#include "platform/kernel.h"
#include "platform/owned_handles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace {

bool isExecutableFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The executable that name stands for: itself when it holds a slash, else the first match on PATH.
std::string findProgram(std::string_view name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string_view::npos)
        return isExecutableFile(std::string(name)) ? std::string(name) : std::string();
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty()) {
        size_t colon = rest.find(':');
        std::string_view dir = rest.substr(0, colon);
        std::string candidate = std::string(dir.empty() ? "." : dir) + "/" + std::string(name);
        if (isExecutableFile(candidate))
            return candidate;
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return {};
}

using platform::FileDescriptor;

enum class ChooserRun { Picked, Cancelled, Failed, Ended };

// Runs program with args (args[0] its name) and standard output on a pipe, never through a shell.
// Picked means exit status 0; output then holds what the program printed. Ended: a signal asked the
// program to end while the chooser was up, and the chooser was closed.
ChooserRun runChooser(const std::string& program, const std::vector<std::string>& args, std::string& output)
{
    platform::DialogSignalWatch watch;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        platform::platformLog("GetOpenFileNameA: no pipe for the file chooser (%s)\n", std::strerror(errno));
        return ChooserRun::Failed;
    }
    FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 1);

    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t child = 0;
    int rc = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.close();
    if (rc != 0) {
        platform::platformLog("GetOpenFileNameA: cannot start %s (%s)\n", program.c_str(), std::strerror(rc));
        return ChooserRun::Failed;
    }

    // Everything is drained so the chooser never blocks on a full pipe; only a sane amount is kept.
    constexpr size_t keepAtMost = 65536;
    char chunk[4096];
    for (;;) {
        ssize_t n = read(readEnd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (output.size() < keepAtMost)
            output.append(chunk, static_cast<size_t>(n));
    }

    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return ChooserRun::Failed;
    }
    if (watch.endAsked())
        return ChooserRun::Ended;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ChooserRun::Picked : ChooserRun::Cancelled;
}

std::string startDirectory(const OPENFILENAMEA& record)
{
    if (record.lpstrInitialDir && *record.lpstrInitialDir)
        return record.lpstrInitialDir;
    std::vector<char> cwd(4096);
    return getcwd(cwd.data(), cwd.size()) ? std::string(cwd.data()) : std::string();
}

// The filters of a record: pairs of a name and its patterns ("*.smi;*.srt"), each NUL-terminated, the
// list ended by an empty name. The patterns come back separated by blanks, as the choosers take them.
std::vector<std::pair<std::string, std::string>> recordFilters(const char* filter)
{
    std::vector<std::pair<std::string, std::string>> out;
    while (filter && *filter) {
        std::string name = filter;
        filter += name.size() + 1;
        std::string patterns = filter;
        filter += patterns.size() + 1;
        for (char& c : patterns)
            if (c == ';')
                c = ' ';
        if (patterns.empty())
            break;
        out.emplace_back(std::move(name), std::move(patterns));
    }
    return out;
}

std::vector<std::string> zenityArguments(const char* title, const std::string& directory, const char* filter)
{
    std::vector<std::string> args { "zenity", "--file-selection" };
    if (title)
        args.push_back(std::string("--title=") + title);
    if (!directory.empty()) {
        // A trailing slash makes zenity open the directory itself rather than select it in its parent.
        args.push_back("--filename=" + directory + (directory.back() == '/' ? "" : "/"));
    }
    for (const auto& [name, patterns] : recordFilters(filter))
        args.push_back("--file-filter=" + name + " | " + patterns);
    return args;
}

std::vector<std::string> kdialogArguments(const char* title, const std::string& directory)
{
    std::vector<std::string> args { "kdialog" };
    if (title) {
        args.push_back("--title");
        args.push_back(title);
    }
    args.push_back("--getopenfilename");
    if (!directory.empty())
        args.push_back(directory);
    return args;
}

void fillNameFields(OPENFILENAMEA& record, const std::string& path)
{
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    size_t extension = dot != std::string::npos && dot >= nameStart ? dot + 1 : path.size();
    record.nFileOffset = static_cast<WORD>(nameStart < 0xFFFF ? nameStart : 0xFFFF);
    record.nFileExtension = static_cast<WORD>(extension < 0xFFFF ? extension : 0xFFFF);
    if (record.lpstrFileTitle && record.nMaxFileTitle > 0) {
        std::string name = path.substr(nameStart);
        size_t n = name.size() < record.nMaxFileTitle - 1 ? name.size() : record.nMaxFileTitle - 1;
        std::memcpy(record.lpstrFileTitle, name.data(), n);
        record.lpstrFileTitle[n] = '\0';
    }
}

}

BOOL GetOpenFileNameA(OPENFILENAMEA* record)
{
    if (!record || (record->lStructSize != OPENFILENAME_SIZE_VERSION_400A && record->lStructSize != sizeof(OPENFILENAMEA))
        || !record->lpstrFile || record->nMaxFile == 0) {
        platform::platformLog("GetOpenFileNameA: invalid dialog record\n");
        return FALSE;
    }

    std::string directory = startDirectory(*record);
    std::string program;
    std::vector<std::string> args;
    if (const char* chosen = std::getenv("SUBLUMEN_FILE_CHOOSER"); chosen && *chosen) {
        program = findProgram(chosen);
        if (program.empty()) {
            platform::platformLog("GetOpenFileNameA: file chooser %s not found\n", chosen);
            return FALSE;
        }
        args = zenityArguments(record->lpstrTitle, directory, record->lpstrFilter);
        args[0] = chosen;
    } else if (program = findProgram("zenity"); !program.empty()) {
        args = zenityArguments(record->lpstrTitle, directory, record->lpstrFilter);
    } else if (program = findProgram("kdialog"); !program.empty()) {
        args = kdialogArguments(record->lpstrTitle, directory);
        // kdialog takes its filters after the start directory, one a line: "*.smi *.srt|Name".
        std::string filters;
        for (const auto& [name, patterns] : recordFilters(record->lpstrFilter))
            filters += (filters.empty() ? "" : "\n") + patterns + "|" + name;
        if (!filters.empty()) {
            if (directory.empty())
                args.push_back(".");
            args.push_back(filters);
        }
    } else {
        platform::platformLog("GetOpenFileNameA: no file chooser installed (zenity or kdialog)\n");
        return FALSE;
    }

    std::string output;
    const ChooserRun run = runChooser(program, args, output);
    if (run == ChooserRun::Ended)
        platform::platformLog("GetOpenFileNameA: the file chooser was closed: the program is asked to end.\n");
    if (run != ChooserRun::Picked)
        return FALSE;
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    if (output.empty() || output.find('\0') != std::string::npos)
        return FALSE;
    if (output.size() >= record->nMaxFile) {
        platform::platformLog("GetOpenFileNameA: the chosen path is longer than %u characters\n",
            static_cast<unsigned>(record->nMaxFile - 1));
        return FALSE;
    }
    std::memcpy(record->lpstrFile, output.c_str(), output.size() + 1);
    fillNameFields(*record, output);
    return TRUE;
}

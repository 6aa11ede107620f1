// The signals that ask the program to end. SDL turns an interrupt and a terminate into a quit event,
// which closes the main window the normal way, so the settings are saved; a hang-up (the terminal
// closed) is made to take the same road, and a dialog (a message box, the file chooser), whose wait SDL
// does not break, is closed.
#include "platform/dialog_signals.h"
#include "platform/kernel.h"
#include "platform/window/window_object.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

void hangUpAsTerminate(int)
{
    kill(getpid(), SIGTERM);
}

// Dialog state, touched by the signal handler: only the pipe's write end and the saved actions, which are
// set before the handler is installed and restored after it is taken away.
constexpr int endSignals[] = { SIGINT, SIGTERM, SIGHUP };
struct sigaction previousActions[std::size(endSignals)];
bool watched[std::size(endSignals)];
int boxPipe[2] = { -1, -1 };
volatile sig_atomic_t endSignalSeen = 0;
// A signal whose action was the default one (the process would have ended at once) closed a dialog.
volatile sig_atomic_t endRequested = 0;

void closeBoxOnSignal(int signal)
{
    const int savedErrno = errno;
    endSignalSeen = 1;
    const char end = 'e';
    if (write(boxPipe[1], &end, 1) < 0) { }
    // What the signal did before (SDL's quit event) still happens; an end by the default action is left
    // to the program, which takes its normal one.
    for (size_t i = 0; i < std::size(endSignals); ++i) {
        void (*previous)(int) = previousActions[i].sa_handler;
        if (endSignals[i] == signal && previous == SIG_DFL)
            endRequested = 1;
        if (endSignals[i] != signal || previous == SIG_DFL || previous == SIG_IGN)
            continue;
        previous(signal);
        // SDL's handler puts itself back in place; this one stays until the dialog is gone.
        struct sigaction again {};
        again.sa_handler = closeBoxOnSignal;
        sigemptyset(&again.sa_mask);
        sigaction(signal, &again, nullptr);
    }
    errno = savedErrno;
}

// The dialog is a child process of ours (SDL's X box runs in a forked copy, other drivers run a dialog
// program, the file chooser is one), and the only one while it is up: ending it returns the wait for it.
void endChildProcesses()
{
    const pid_t self = getpid();
    DIR* processes = opendir("/proc");
    if (!processes)
        return;
    while (dirent* entry = readdir(processes)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end)
            continue;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        FILE* stat = std::fopen(path, "r");
        if (!stat)
            continue;
        // pid (name) state ppid: the name may hold blanks and parentheses, so read from the last ')'.
        char text[512] = "";
        const size_t length = std::fread(text, 1, sizeof text - 1, stat);
        std::fclose(stat);
        text[length] = '\0';
        const char* close = std::strrchr(text, ')');
        long parent = 0;
        char state = 0;
        if (close && std::sscanf(close + 1, " %c %ld", &state, &parent) == 2 && parent == self)
            kill(static_cast<pid_t>(pid), SIGKILL);
    }
    closedir(processes);
}

// SDL tries another way to show a box whose first one failed, so once asked to end the watcher keeps
// ending what comes up until the dialog's call has returned.
void watchBox(int readEnd)
{
    bool ending = false;
    for (;;) {
        pollfd wait { readEnd, POLLIN, 0 };
        const int ready = poll(&wait, 1, ending ? 50 : -1);
        if (ready < 0 && errno != EINTR)
            return;
        char what = 0;
        if (ready > 0 && read(readEnd, &what, 1) == 1 && what == 'q')
            return;
        ending = ending || what == 'e';
        if (ending)
            endChildProcesses();
    }
}

}

void takeHangUpAsTerminate()
{
    struct sigaction current {};
    // A hang-up that is ignored (nohup) stays ignored.
    if (sigaction(SIGHUP, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
        return;
    struct sigaction action {};
    action.sa_handler = hangUpAsTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGHUP, &action, nullptr);
}

DialogSignalWatch::DialogSignalWatch()
{
    if (pipe2(boxPipe, O_CLOEXEC) != 0) {
        boxPipe[0] = boxPipe[1] = -1;
        return;
    }
    endSignalSeen = 0;
    watcher = std::thread(watchBox, boxPipe[0]);
    struct sigaction action {};
    action.sa_handler = closeBoxOnSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(endSignals); ++i) {
        watched[i] = sigaction(endSignals[i], nullptr, &previousActions[i]) == 0
            && previousActions[i].sa_handler != SIG_IGN && !(previousActions[i].sa_flags & SA_SIGINFO);
        if (watched[i])
            sigaction(endSignals[i], &action, nullptr);
    }
}

DialogSignalWatch::~DialogSignalWatch()
{
    if (boxPipe[1] < 0)
        return;
    for (size_t i = 0; i < std::size(endSignals); ++i)
        if (watched[i])
            sigaction(endSignals[i], &previousActions[i], nullptr);
    const char quit = 'q';
    if (write(boxPipe[1], &quit, 1) < 0) { }
    watcher.join();
    close(boxPipe[0]);
    close(boxPipe[1]);
    boxPipe[0] = boxPipe[1] = -1;
}

bool DialogSignalWatch::endAsked() const
{
    return endSignalSeen != 0;
}

bool takeEndRequest()
{
    const bool requested = endRequested != 0;
    endRequested = 0;
    return requested;
}

}

// The signals that ask the program to end (interrupt, terminate, hang-up) while it waits on a dialog: a
// message box or the desktop's file chooser, neither of which such a signal would otherwise close.
#pragma once

#include <thread>

namespace platform {

// While it stands, such a signal closes the dialog (its child process is ended; a box answers as its
// default button would) and then does what it did before: SDL's quit event, which closes the main window
// the normal way. A signal whose own action would have ended the process at once is kept instead, for
// takeEndRequest.
class DialogSignalWatch {
public:
    DialogSignalWatch();
    ~DialogSignalWatch();
    DialogSignalWatch(const DialogSignalWatch&) = delete;
    DialogSignalWatch& operator=(const DialogSignalWatch&) = delete;
    // True when such a signal arrived while the watch stood.
    bool endAsked() const;

private:
    std::thread watcher;
};

// Whether a signal closed a dialog before anything else could end the program (before the window
// exists); the program is then to take its normal end itself. Cleared by the call.
bool takeEndRequest();

}

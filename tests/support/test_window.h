// A window of its own class that records every message it gets, for checks of the message pump.
#pragma once

#include "platform/window/window.h"

#include <vector>

namespace testing_support {

struct RecordedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class RecordingWindow {
public:
    RecordingWindow(int width = 320, int height = 240, DWORD style = WS_POPUP);
    ~RecordingWindow();
    RecordingWindow(const RecordingWindow&) = delete;
    RecordingWindow& operator=(const RecordingWindow&) = delete;

    HWND handle() const { return window_; }
    std::vector<RecordedMessage>& messages() { return messages_; }
    // The recorded messages of one kind.
    std::vector<RecordedMessage> of(UINT message) const;

private:
    static LRESULT procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    std::vector<RecordedMessage> messages_;
};

// Takes every queued message (WM_QUIT included) and dispatches it the way the main loop does, with
// accelerator table 102; returns how many were taken. Paint messages are validated by the window.
int pumpMessages(HWND acceleratorWindow = nullptr);
// Forgets whatever an earlier test left queued.
void drainMessages();

}

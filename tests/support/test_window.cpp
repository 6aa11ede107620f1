#include "support/test_window.h"

#include <map>

namespace testing_support {

namespace {

std::map<HWND, RecordingWindow*>& owners()
{
    static std::map<HWND, RecordingWindow*> map;
    return map;
}

RecordingWindow* creating = nullptr;

}

RecordingWindow::RecordingWindow(int width, int height, DWORD style)
{
    WNDCLASSA windowClass {};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = "RecordingWindow";
    RegisterClassA(&windowClass);
    creating = this;
    window_ = CreateWindowExA(0, "RecordingWindow", "test", style, 0, 0, width, height, nullptr, nullptr, nullptr,
        nullptr);
    creating = nullptr;
    if (window_)
        owners()[window_] = this;
}

RecordingWindow::~RecordingWindow()
{
    if (IsWindow(window_))
        DestroyWindow(window_);
    owners().erase(window_);
    drainMessages();
}

std::vector<RecordedMessage> RecordingWindow::of(UINT message) const
{
    std::vector<RecordedMessage> found;
    for (const auto& m : messages_)
        if (m.message == message)
            found.push_back(m);
    return found;
}

LRESULT RecordingWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    RecordingWindow* owner = creating;
    if (auto it = owners().find(window); it != owners().end())
        owner = it->second;
    if (owner)
        owner->messages_.push_back(RecordedMessage { message, wParam, lParam });
    return DefWindowProcA(window, message, wParam, lParam);
}

int pumpMessages(HWND acceleratorWindow)
{
    HACCEL table = LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(102));
    int count = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ++count;
        if (msg.message == WM_QUIT)
            continue;
        if (acceleratorWindow && TranslateAcceleratorA(acceleratorWindow, table, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return count;
}

void drainMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_PAINT)
            DispatchMessageA(&msg);
}

}

// Win32 windowing and messages as the system uses them: one window class, top-level windows, the
// message queue and its pump, accelerators, timers, the cursor and message boxes, built on SDL2.
#pragma once

#include "platform/win32.h"

#include <cstdint>

struct IconObject;
struct CursorObject;
struct AcceleratorTable;
struct MenuObject;
using HICON = IconObject*;
using HCURSOR = CursorObject*;
using HACCEL = AcceleratorTable*;
using HMENU = MenuObject*;
using ATOM = WORD;

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    const char* lpszMenuName;
    const char* lpszClassName;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

struct ACCEL {
    BYTE fVirt;
    WORD key;
    WORD cmd;
};

// Resource names: a small integer carried in a pointer.
inline const char* MAKEINTRESOURCEA(uintptr_t id) { return reinterpret_cast<const char*>(id); }
inline const char* const IDC_ARROW = reinterpret_cast<const char*>(uintptr_t { 32512 });

constexpr WORD LOWORD(uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(int low, int high)
{
    return static_cast<LPARAM>(static_cast<DWORD>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}
constexpr WPARAM MAKEWPARAM(int low, int high)
{
    return static_cast<WPARAM>(static_cast<DWORD>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}
// Signed coordinates packed in an LPARAM or in GetMessagePos's answer.
constexpr int GET_X_LPARAM(LPARAM v) { return static_cast<int16_t>(v & 0xFFFF); }
constexpr int GET_Y_LPARAM(LPARAM v) { return static_cast<int16_t>((v >> 16) & 0xFFFF); }

// Class styles.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;

// Window styles.
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr int GWL_STYLE = -16;

// Messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
// The input method's text being composed changed (platform::compositionText gives it).
constexpr UINT WM_IME_COMPOSITION = 0x010F;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
// The first message number free for the program's own messages.
constexpr UINT WM_APP = 0x8000;

// Mouse-key states in the first parameter of mouse messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// The bit of a key message's second parameter that says Alt was held.
constexpr LPARAM KF_ALTDOWN_BIT = LPARAM { 1 } << 29;

// Virtual-key codes. The left mouse button has one too; the command table names the click by it.
constexpr int VK_LBUTTON = 0x01;
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_PAUSE = 0x13;
constexpr int VK_CAPITAL = 0x14;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_PRIOR = 0x21;
constexpr int VK_NEXT = 0x22;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_INSERT = 0x2D;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_NUMPAD0 = 0x60;
constexpr int VK_MULTIPLY = 0x6A;
constexpr int VK_ADD = 0x6B;
constexpr int VK_SEPARATOR = 0x6C;
constexpr int VK_SUBTRACT = 0x6D;
constexpr int VK_DECIMAL = 0x6E;
constexpr int VK_DIVIDE = 0x6F;
constexpr int VK_F1 = 0x70;
constexpr int VK_F2 = 0x71;
constexpr int VK_F3 = 0x72;
constexpr int VK_F4 = 0x73;
constexpr int VK_F5 = 0x74;
constexpr int VK_F6 = 0x75;
constexpr int VK_F7 = 0x76;
constexpr int VK_F8 = 0x77;
constexpr int VK_F9 = 0x78;
constexpr int VK_F10 = 0x79;
constexpr int VK_F11 = 0x7A;
constexpr int VK_F12 = 0x7B;
constexpr int VK_OEM_1 = 0xBA;
constexpr int VK_OEM_PLUS = 0xBB;
constexpr int VK_OEM_COMMA = 0xBC;
constexpr int VK_OEM_MINUS = 0xBD;
constexpr int VK_OEM_PERIOD = 0xBE;
constexpr int VK_OEM_2 = 0xBF;
constexpr int VK_OEM_3 = 0xC0;
constexpr int VK_OEM_4 = 0xDB;
constexpr int VK_OEM_5 = 0xDC;
constexpr int VK_OEM_6 = 0xDD;
constexpr int VK_OEM_7 = 0xDE;

// Accelerator flags.
constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FNOINVERT = 0x02;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;

// PeekMessageA.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// ShowWindow.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

// SetWindowPos.
inline HWND const HWND_TOP = nullptr;
inline HWND const HWND_TOPMOST = reinterpret_cast<HWND>(intptr_t { -1 });
inline HWND const HWND_NOTOPMOST = reinterpret_cast<HWND>(intptr_t { -2 });
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;

// Message boxes.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Registers a window class by name; 0 when the class is missing a name or procedure, or already exists.
ATOM RegisterClassA(const WNDCLASSA* windowClass);
// Creates a top-level window of a registered class; hidden unless WS_VISIBLE is given. WM_CREATE is
// sent before this returns. Null when the class is unknown or no window can be made.
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
    int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* parameter);
// Sends WM_DESTROY and removes the window; its handle is invalid afterwards.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
// Window rectangle in screen coordinates, frame included.
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
// Returns whether the window was visible before.
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
// A null window means every window.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
// Only GWL_STYLE is kept: WS_CAPTION gives a bordered window, a plain WS_POPUP a borderless one.
LONG SetWindowLongA(HWND window, int index, LONG value);
LONG GetWindowLongA(HWND window, int index);
// The desktop; its client rectangle is the usable area of the first display.
HWND GetDesktopWindow();
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);

// The display count rises with TRUE and falls with FALSE; the cursor shows while it is 0 or more.
int ShowCursor(BOOL show);
HCURSOR LoadCursorA(HINSTANCE instance, const char* name);
HCURSOR SetCursor(HCURSOR cursor);
// The program's icon resource 103; null for any other.
HICON LoadIconA(HINSTANCE instance, const char* name);

using UINT_PTR = uintptr_t;
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);
// Queues WM_TIMER with the id for the window every period; a timer fires at most once per turn of the
// queue. Returns the id, 0 on failure. A timer procedure is not supported (null expected).
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC procedure);
BOOL KillTimer(HWND window, UINT_PTR id);

// A message box with caption and text; MB_OK answers IDOK, MB_YESNO IDYES or IDNO, 0 when none can be
// shown. SUBLUMEN_MESSAGEBOX_ANSWER=yes|no|ok answers at once without showing anything (logged).
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

// The message pump.
BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove);
// Blocks until the queue holds something.
BOOL WaitMessage();
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageA(const MSG* message);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Screen position of the cursor when the last message was retrieved: x low, y high, signed 16 bits.
DWORD GetMessagePos();
// Bit 15 set while the key is down, as of the last retrieved message.
short GetKeyState(int virtualKey);
// The program's accelerator table 102; null for any other.
HACCEL LoadAcceleratorsA(HINSTANCE instance, const char* name);
// Turns a key message matching the table into WM_COMMAND (sent to window); non-zero when it did.
int TranslateAcceleratorA(HWND window, HACCEL table, MSG* message);

namespace platform {

// The window's SDL window id, 0 for none; used by the presentation code.
uint32_t sdlWindowId(HWND window);
// Posts a message to window from any thread (the window must exist and video be started when the
// thread begins); the main thread finds it in the queue at its next look. False when video is not started.
bool postMessageFromThread(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Name of the video driver SDL runs on ("x11", "wayland", "offscreen", "dummy"), null before start.
const char* videoDriverName();
// Runs when the connection to the display is lost, just before the process ends: it must not use the
// display. Null for none.
using DisplayLostHandler = void (*)();
void setDisplayLostHandler(DisplayLostHandler handler);
// The desktop mode's size of the display that window is on (the main window's display for a null
// handle, the first display without one); false when there is no display.
bool desktopSize(HWND window, int& width, int& height);
// The largest client area window can have with its frame inside the usable part of its display (the
// desktop without the panels); false when there is no display or no room.
bool usableClientSize(HWND window, int& width, int& height);

}

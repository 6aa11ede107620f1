// Starts a program and reports how long it takes until something other than black appears on the
// X screen (which must be black before: Xvfb -br), then ends the program.
// Usage: first_frame_probe PROGRAM ARGS...   prints "first-frame-ms N"; exit 1 after 20 s without one.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Whether a full-width row of the screen holds a pixel brighter than dark grey.
bool rowLit(Display* display, Window root, int width, int y)
{
    XImage* image = XGetImage(display, root, 0, y, static_cast<unsigned>(width), 1, AllPlanes, ZPixmap);
    if (!image)
        return false;
    bool lit = false;
    for (int x = 0; x < width && !lit; ++x) {
        unsigned long p = XGetPixel(image, x, 0);
        lit = ((p >> 16) & 0xFF) > 40 || ((p >> 8) & 0xFF) > 40 || (p & 0xFF) > 40;
    }
    XDestroyImage(image);
    return lit;
}

}

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: first_frame_probe PROGRAM ARGS...\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "first_frame_probe: no X display\n");
        return 2;
    }
    Window root = DefaultRootWindow(display);
    int width = DisplayWidth(display, DefaultScreen(display));
    int height = DisplayHeight(display, DefaultScreen(display));

    auto started = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int result = 1;
    while (std::chrono::steady_clock::now() - started < std::chrono::seconds(20)) {
        bool lit = false;
        // Rows across the middle band where any centred picture lies.
        for (int i = 3; i <= 13 && !lit; ++i)
            lit = rowLit(display, root, width, height * i / 16);
        if (lit) {
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
            std::printf("first-frame-ms %lld\n", static_cast<long long>(ms.count()));
            result = 0;
            break;
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "first_frame_probe: the program ended before showing anything\n");
            XCloseDisplay(display);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    return result;
}

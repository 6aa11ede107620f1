// Opens the main window through the player's own display set-up, presents frames drawn with the
// drawing layer and prints the presentation cost per frame.
//
//   displaydemo [--fullscreen] [--size WxH] [--bpp 16|32] [--frames N] [--hold-ms N] [--log FILE]
#include "app/debug_log.h"
#include "app/system.h"
#include "display/display.h"
#include "display/display_modes.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel.h"
#include "platform/window/window.h"
#include "ui/main_window.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace sublumen;

namespace {

struct Options {
    int fullscreen = 0;
    int width = 640;
    int height = 480;
    int bpp = 16;
    int frames = 120;
    int holdMs = 0;
    const char* log = "displaydemo.log";
};

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "--fullscreen")
            o.fullscreen = 1;
        else if (a == "--size" && more && std::sscanf(argv[++i], "%dx%d", &o.width, &o.height) == 2)
            continue;
        else if (a == "--bpp" && more)
            o.bpp = std::atoi(argv[++i]);
        else if (a == "--frames" && more)
            o.frames = std::atoi(argv[++i]);
        else if (a == "--hold-ms" && more)
            o.holdMs = std::atoi(argv[++i]);
        else if (a == "--log" && more)
            o.log = argv[++i];
        else
            return false;
    }
    return o.width > 0 && o.height > 0 && o.frames >= 0;
}

void logFromPlatform(const char* text) { debugLog("%s", text); }

// Three colour bands, a box that moves with the frame number, and a line of text.
void drawFrame(System& sys, HFONT font, int frame)
{
    DisplaySurface* back = sys.displays.backSurface();
    const int w = back->width, h = back->height;
    platform::PixelFormat format = back->surface->pixels()->format;
    const int colours[3][3] = { { 220, 40, 40 }, { 40, 200, 60 }, { 50, 80, 230 } };
    for (int band = 0; band < 3; ++band) {
        RECT r { band * w / 3, 0, (band + 1) * w / 3, h };
        DDBLTFX fill {};
        fill.dwSize = sizeof fill;
        fill.dwFillColor = platform::packPixel(format, colours[band][0], colours[band][1], colours[band][2]);
        back->surface->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill);
    }
    HDC dc = back->getDC();
    int x = (frame * 4) % (w - h / 6 > 0 ? w - h / 6 : 1);
    RECT box { x, h * 2 / 3, x + h / 6, h * 2 / 3 + h / 6 };
    FillRect(dc, &box, GetStockObject(WHITE_BRUSH));
    RECT bar { 0, h / 12, w, h / 12 + 40 };
    FillRect(dc, &bar, GetStockObject(BLACK_BRUSH));
    HFONT previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    char text[160];
    std::snprintf(text, sizeof text, "Sublumen %dx%dx%d %s  frame %d", w, h, static_cast<int>(back->bitsPerPixel),
        sys.settings.fullscreen ? "full screen" : "window", frame);
    TextOutA(dc, 12, h / 12 + 8, text, static_cast<int>(std::strlen(text)));
    SelectObject(dc, previous);
    back->releaseDC(dc);
}

bool pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            return false;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

}

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: displaydemo [--fullscreen] [--size WxH] [--bpp 16|32] [--frames N] "
                             "[--hold-ms N] [--log FILE]\n");
        return 2;
    }
    std::remove(options.log);
    setLogFile(options.log);
    platform::setLogSink(logFromPlatform);

    System sys;
    sys.settings.fullscreen = options.fullscreen;
    sys.settings.screenx = options.width;
    sys.settings.screeny = options.height;
    sys.settings.bpp = options.bpp;
    sys.settings.alwaystop = 0;
    sys.window.lastMouseTime = calendarSeconds();
    if (initWindow(sys) < 0)
        return 1;
    int rc = ddEnum(sys);
    if (rc < 0) {
        std::fprintf(stderr, "ddEnum failed: %d\n", rc);
        sys.displays.display.reset();
        DestroyWindow(sys.window.mainWindow);
        return 1;
    }
    HFONT font = platform::createFont(24, FW_BOLD, "굴림체");

    using Clock = std::chrono::steady_clock;
    Clock::duration presenting {};
    int shown = 0;
    for (int frame = 0; frame < options.frames && pump(); ++frame) {
        drawFrame(sys, font, frame);
        auto start = Clock::now();
        sys.displays.display->present();
        presenting += Clock::now() - start;
        ++shown;
    }
    double ms = shown ? std::chrono::duration<double, std::milli>(presenting).count() / shown : 0.0;
    const char* path = std::getenv("SUBLUMEN_PRESENT");
    std::printf("%dx%dx%d %s: %d frames, present %.3f ms per frame (%s path)\n", sys.settings.screenx,
        sys.settings.screeny, sys.settings.bpp, sys.settings.fullscreen ? "full screen" : "window", shown, ms,
        path && !std::strcmp(path, "texture") ? "texture" : "framebuffer");
    std::printf("ready\n");
    std::fflush(stdout);

    auto until = Clock::now() + std::chrono::milliseconds(options.holdMs);
    while (Clock::now() < until && pump()) {
        // Keep the last frame on screen (it is shown again after an expose) while a screenshot is taken.
        sys.displays.display->present();
        Sleep(50);
    }
    DeleteObject(font);
    sys.displays.display.reset();
    if (sys.window.mainWindow)
        DestroyWindow(sys.window.mainWindow);
    return 0;
}

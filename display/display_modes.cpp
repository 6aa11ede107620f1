#include "display/display_modes.h"

#include "app/debug_log.h"
#include "app/path_text.h"
#include "app/system.h"
#include "display/display.h"
#include "platform/window/window.h"
#include "ui/main_window.h"

#include <cassert>
#include <cstring>
#include <iterator>
#include <new>

namespace sublumen {

namespace {

constexpr int fallbackWidth = 640;
constexpr int fallbackHeight = 480;
constexpr int fallbackBpp = 16;

void marker(int number) { debugLog(">>> initDirectDrawMode() %d\n", number); }

// Stores one device; the context is the device list being filled.
BOOL storeDevice(GUID* guid, char* description, char* driverName, void* context)
{
    auto& displays = *static_cast<DisplayGlobals*>(context);
    if (displays.displayDeviceCount >= static_cast<int32_t>(std::size(displays.displayDevices)))
        return DDENUMRET_OK;
    DisplayDevice& device = displays.displayDevices[displays.displayDeviceCount];
    boundedCopy(device.driverName, driverName ? driverName : "", sizeof device.driverName);
    boundedCopy(device.description, description ? description : "", sizeof device.description);
    if (guid)
        device.guid = *guid;
    else
        std::memset(&device.guid, 0, sizeof device.guid);
    ++displays.displayDeviceCount;
    return DDENUMRET_OK;
}

}

int enumerateDisplayDevices(System& sys)
{
    sys.displays.displayDeviceCount = 0;
    if (FAILED(DirectDrawEnumerateA(storeDevice, &sys.displays)))
        return -1;
    return sys.displays.displayDeviceCount;
}

int initDirectDrawMode(System& sys)
{
    Settings& settings = sys.settings;
    Display* display = sys.displays.display.get();
    HWND window = sys.window.mainWindow;
    auto setFullScreen = [&] {
        return display ? display->setFullScreenMode(window, settings.screenx, settings.screeny, settings.bpp) : -1;
    };

    marker(1);
    if (settings.fullscreen) {
        marker(2);
        ShowWindow(window, SW_HIDE);
        int rc = setFullScreen();
        if (rc < 0) {
            marker(3);
            debugLog("FullMode Change Fail %d\n", rc);
            if (settings.screenx == fallbackWidth && settings.screeny == fallbackHeight && settings.bpp == fallbackBpp)
                return -2;
            settings.screenx = fallbackWidth;
            settings.screeny = fallbackHeight;
            settings.bpp = fallbackBpp;
            if (setFullScreen() < 0)
                return -1;
            // The fallback mode works: the player goes on in it, and the settings keep it.
            marker(4);
        }
    } else {
        marker(5);
        fitWindowSize(sys);
        int rc = display ? display->setWindowMode(window, settings.screenx, settings.screeny) : -1;
        if (rc < 0) {
            debugLog("WindowMode Change Fail\n");
            return -11;
        }
        sizeWindow(sys);
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
        InvalidateRect(nullptr, nullptr, TRUE);
    }

    marker(6);
    if (display && display->back && (!settings.fullscreen || display->primary)) {
        marker(8);
        return 0;
    }
    debugLog("GetSurface Fail\n");
    return -21;
}

int ddEnum(System& sys)
{
    assert(!sys.displays.display && "ddEnum builds the one Display; the previous one must be released first");
    int n = enumerateDisplayDevices(sys);
    debugLog("ddEnum() == %d\n", n);
    if (n < 1) {
        debugLog("DirectDrawEnum Fail\n");
        return -2;
    }
    for (int i = 0; i < sys.displays.displayDeviceCount; ++i)
        debugLog("DD-Device %d=%s:%s\n", i, sys.displays.displayDevices[i].driverName,
            sys.displays.displayDevices[i].description);

    sys.displays.display.reset(new (std::nothrow) Display());
    if (!sys.displays.display) {
        debugLog("DirectDraw Fail\n");
        return -4;
    }

    int rc = initDirectDrawMode(sys);
    if (rc == -11) {
        int answer = MessageBoxA(sys.window.mainWindow, "Window Mode Fail. Change to Full Mode ?", "Sublumen",
            MB_YESNO | MB_ICONWARNING);
        if (answer != IDYES)
            return -5;
        sys.settings.fullscreen = 1;
        // A full screen that works after all is a success: the player runs in it.
        return initDirectDrawMode(sys) < 0 ? -6 : 0;
    }
    return rc >= 0 ? 0 : -5;
}

}

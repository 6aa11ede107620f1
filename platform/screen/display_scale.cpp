#include "platform/screen/display_scale.h"

#include "platform/kernel.h"

#include <SDL.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

constexpr double largestScale = 4.0;

// Xft.dpi from the resources the X server holds for the session (what xrdb -query lists); empty when
// there is none.
std::string xftDpi()
{
    ::Display* display = XOpenDisplay(nullptr);
    if (!display)
        return "";
    std::string value;
    if (const char* resources = XResourceManagerString(display)) {
        const std::string all = resources;
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find('\n', start);
            if (end == std::string::npos)
                end = all.size();
            const std::string line = all.substr(start, end - start);
            if (line.rfind("Xft.dpi:", 0) == 0) {
                value = line.substr(std::strlen("Xft.dpi:"));
                break;
            }
            start = end + 1;
        }
    }
    XCloseDisplay(display);
    return value;
}

double readDisplayScale()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0)
        return 1.0;
    if (const char* gdk = std::getenv("GDK_SCALE"); gdk && *gdk) {
        if (double scale = scaleFromText(gdk, 1.0, "GDK_SCALE"); scale > 0)
            return scale;
    }
    const std::string dpi = xftDpi();
    if (!dpi.empty())
        if (double scale = scaleFromText(dpi, 96.0, "Xft.dpi"); scale > 0)
            return scale;
    return 1.0;
}

}

double scaleFromText(const std::string& value, double unit, const char* what)
{
    const char* text = value.c_str();
    while (*text == ' ' || *text == '\t')
        ++text;
    char* end = nullptr;
    const double number = std::strtod(text, &end);
    while (end && (*end == ' ' || *end == '\t'))
        ++end;
    if (end == text || !end || *end != '\0' || !std::isfinite(number) || number <= 0) {
        platformLog("Display scale: %s \"%s\" is no scale; ignored.\n", what, value.c_str());
        return 0;
    }
    const double scale = number / unit;
    const double kept = std::clamp(scale, 1.0, largestScale);
    if (kept != scale)
        platformLog("Display scale: %s %s gives %.3g; %.3g is used.\n", what, value.c_str(), scale, kept);
    return kept;
}

double displayScale()
{
    static const double scale = [] {
        const double s = readDisplayScale();
        if (s != 1.0)
            platformLog("Display scale: %.3g; window modes keep their size and are drawn at device pixels.\n", s);
        return s;
    }();
    return scale;
}

}

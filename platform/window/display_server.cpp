#include "platform/window/display_server.h"

#include "platform/kernel.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {

// SDL's Wayland driver has no framebuffer of its own: it shows a window's pixels through a renderer
// on OpenGL (ES). Without one every window stays empty, which X11 would not do. Asked on a hidden
// window of its own, so that the main window is made once on the driver that stays.
bool showsPictures(std::string& refusal)
{
    // Loaded for good: the main window's renderer needs the same driver next, and unloading it would
    // cost its start-up twice.
    if (SDL_GL_LoadLibrary(nullptr) != 0) {
        refusal = std::string("no OpenGL: ") + SDL_GetError();
        return false;
    }
    SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    if (!probe) {
        refusal = std::string("no window: ") + SDL_GetError();
        SDL_GL_UnloadLibrary();
        return false;
    }
    bool shows = false;
    for (int i = 0; i < SDL_GetNumRenderDrivers() && !shows; ++i) {
        SDL_RendererInfo info {};
        if (SDL_GetRenderDriverInfo(i, &info) != 0 || !std::strcmp(info.name, "software"))
            continue;
        if (SDL_Renderer* renderer = SDL_CreateRenderer(probe, i, 0)) {
            shows = true;
            SDL_DestroyRenderer(renderer);
        }
    }
    if (!shows)
        refusal = std::string("no renderer: ") + SDL_GetError();
    SDL_DestroyWindow(probe);
    if (!shows)
        SDL_GL_UnloadLibrary();
    return shows;
}

}

int startVideoOnDisplayServer(uint32_t subsystems)
{
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((asked && *asked) || !wayland || !*wayland)
        return SDL_InitSubSystem(subsystems);
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland");
    // The player keeps the screen awake itself there, only while a movie plays.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    std::string refusal;
    if (SDL_InitSubSystem(subsystems) != 0) {
        refusal = SDL_GetError();
    } else if (!showsPictures(refusal)) {
        SDL_QuitSubSystem(subsystems);
    } else {
        // The window's framebuffer is then the renderer's texture, which SDL makes only when allowed to.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "1");
        platformLog("Video: Wayland display %s.\n", wayland);
        return 0;
    }
    platformLog("Video: the Wayland display %s cannot be used (%s); X11 is used instead.\n", wayland,
        refusal.c_str());
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    SDL_ResetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER);
    return SDL_InitSubSystem(subsystems);
}

}

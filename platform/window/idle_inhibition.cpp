// Keeping the screen awake. On Wayland SDL's own inhibitor outlives the request to let the screen sleep
// again whenever no desktop D-Bus service took the request (wlroots and KDE compositors, newer GNOME),
// so there the player holds the compositor's idle inhibitor on the main window itself.
#include "platform/window/display_server.h"

#include "platform/kernel.h"
#include "platform/window/window_registry.h"

#include <SDL_syswm.h>
#include <wayland-client.h>

#include <cstring>

namespace platform {

namespace {

// The two interfaces of the compositor's idle-inhibit protocol (unstable v1). Neither has events.
extern const wl_interface inhibitorInterface;
const wl_interface* inhibitTypes[] = { &inhibitorInterface, &wl_surface_interface };
const wl_message managerRequests[] = {
    { "destroy", "", inhibitTypes },
    { "create_inhibitor", "no", inhibitTypes },
};
const wl_message inhibitorRequests[] = { { "destroy", "", inhibitTypes } };
const wl_interface managerInterface = { "zwp_idle_inhibit_manager_v1", 1, 2, managerRequests, 0, nullptr };
const wl_interface inhibitorInterface = { "zwp_idle_inhibitor_v1", 1, 1, inhibitorRequests, 0, nullptr };
constexpr uint32_t destroyRequest = 0;
constexpr uint32_t createInhibitorRequest = 1;

struct IdleInhibition {
    bool looked = false;
    wl_display* display = nullptr;
    wl_proxy* manager = nullptr;  // null when the compositor offers none
    wl_proxy* inhibitor = nullptr;
    wl_surface* surface = nullptr;  // the surface the inhibitor was made for
};
IdleInhibition idle;

bool onWayland()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && !std::strcmp(driver, "wayland");
}

void noteGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    if (!std::strcmp(interface, managerInterface.name))
        *static_cast<wl_proxy**>(data)
            = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &managerInterface, 1));
}
void forgetGlobal(void*, wl_registry*, uint32_t) { }
const wl_registry_listener registryListener { noteGlobal, forgetGlobal };

// The compositor's inhibit manager, bound once on a queue of its own so that SDL's events stay SDL's.
void findManager(wl_display* display)
{
    idle.looked = true;
    idle.display = display;
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    if (!queue || !wrapper) {
        if (wrapper)
            wl_proxy_wrapper_destroy(wrapper);
        if (queue)
            wl_event_queue_destroy(queue);
        return;
    }
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    wl_registry* registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    wl_registry_add_listener(registry, &registryListener, &idle.manager);
    wl_display_roundtrip_queue(display, queue);
    wl_registry_destroy(registry);
    if (idle.manager)
        wl_proxy_set_queue(idle.manager, nullptr);
    wl_event_queue_destroy(queue);
    platformLog("Wayland: %s.\n",
        idle.manager ? "the screen is kept awake through the compositor's idle inhibition"
                     : "the compositor offers no idle inhibition; the screen may sleep during a movie");
}

// The main window's surface now (SDL makes a new one when it rebuilds the window), null when none.
wl_surface* mainSurface()
{
    WindowObject* window = liveWindow(windowRegistry().mainWindow);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !window->sdl() || !SDL_GetWindowWMInfo(window->sdl(), &info) || info.subsystem != SDL_SYSWM_WAYLAND)
        return nullptr;
    if (!idle.looked)
        findManager(info.info.wl.display);
    return info.info.wl.surface;
}

void dropInhibitor()
{
    if (!idle.inhibitor)
        return;
    wl_proxy_marshal_flags(idle.inhibitor, destroyRequest, nullptr, 1, WL_MARSHAL_FLAG_DESTROY);
    idle.inhibitor = nullptr;
    idle.surface = nullptr;
    wl_display_flush(idle.display);
}

}

bool screenSaverEnabled()
{
    if (!onWayland())
        return SDL_IsScreenSaverEnabled();
    // An inhibitor counts only on the surface the window shows now.
    return !idle.inhibitor || idle.surface != mainSurface();
}

void disableScreenSaver()
{
    if (!onWayland()) {
        SDL_DisableScreenSaver();
        return;
    }
    wl_surface* surface = mainSurface();
    dropInhibitor();
    if (!idle.manager || !surface)
        return;
    idle.inhibitor = wl_proxy_marshal_flags(idle.manager, createInhibitorRequest, &inhibitorInterface, 1, 0,
        nullptr, surface);
    idle.surface = idle.inhibitor ? surface : nullptr;
    wl_display_flush(idle.display);
}

void enableScreenSaver()
{
    if (!onWayland()) {
        SDL_EnableScreenSaver();
        return;
    }
    dropInhibitor();
}

}

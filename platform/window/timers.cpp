// Window timers: SDL's timer thread marks a timer due and wakes the queue, which then hands out WM_TIMER.
#include "platform/window/window_registry.h"

#include <algorithm>

namespace {

Uint32 timerFired(Uint32 interval, void* parameter)
{
    auto serial = reinterpret_cast<uintptr_t>(parameter);
    auto& reg = platform::windowRegistry();
    bool found = false;
    {
        std::lock_guard lock(reg.timerMutex);
        for (auto& [key, timer] : reg.timers)
            if (timer.serial == serial) {
                timer.pending = true;
                found = true;
            }
    }
    if (found) {
        SDL_Event wake {};
        wake.type = reg.wakeEvent;
        SDL_PushEvent(&wake);
    }
    return found ? interval : 0;
}

}

namespace platform {

void stopTimers(HWND window)
{
    auto& reg = platform::windowRegistry();
    std::vector<SDL_TimerID> stop;
    {
        std::lock_guard lock(reg.timerMutex);
        for (auto it = reg.timers.begin(); it != reg.timers.end();) {
            if (it->first.first == window) {
                stop.push_back(it->second.sdlTimer);
                it = reg.timers.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (SDL_TimerID id : stop)
        SDL_RemoveTimer(id);
}

}

UINT_PTR SetTimer(HWND handle, UINT_PTR id, UINT milliseconds, TIMERPROC procedure)
{
    if (!platform::liveWindow(handle) || procedure || !platform::startVideo())
        return 0;
    auto& reg = platform::windowRegistry();
    KillTimer(handle, id);
    uint64_t serial = 0;
    {
        std::lock_guard lock(reg.timerMutex);
        serial = reg.nextTimerSerial++;
        reg.timers[{ handle, id }] = platform::Timer { 0, serial, false };
    }
    SDL_TimerID sdlTimer = SDL_AddTimer(std::max<UINT>(milliseconds, 10), timerFired,
        reinterpret_cast<void*>(static_cast<uintptr_t>(serial)));
    std::lock_guard lock(reg.timerMutex);
    auto it = reg.timers.find({ handle, id });
    if (!sdlTimer) {
        if (it != reg.timers.end())
            reg.timers.erase(it);
        return 0;
    }
    if (it != reg.timers.end())
        it->second.sdlTimer = sdlTimer;
    return id;
}

BOOL KillTimer(HWND handle, UINT_PTR id)
{
    auto& reg = platform::windowRegistry();
    SDL_TimerID sdlTimer = 0;
    {
        std::lock_guard lock(reg.timerMutex);
        auto it = reg.timers.find({ handle, id });
        if (it == reg.timers.end())
            return FALSE;
        sdlTimer = it->second.sdlTimer;
        reg.timers.erase(it);
    }
    if (sdlTimer)
        SDL_RemoveTimer(sdlTimer);
    return TRUE;
}

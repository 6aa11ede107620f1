// Presentation through the window's framebuffer (the default: a 1:1 picture costs one copy, or none
// once the framebuffer's memory is lent to the surface composed in it, and SDL is told not to put a
// renderer behind it), or through a renderer with a streaming texture in the
// surface's own format (SUBLUMEN_PRESENT=texture), which scales with linear filtering on the GPU.
// A scaled full-screen picture goes to the GPU when SDL's renderer runs on real graphics hardware, and
// is otherwise filtered on the CPU straight into the framebuffer.
#include "platform/window/presentation.h"

#include "platform/frame_trace.h"
#include "platform/kernel.h"
#include "platform/window/window_object.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace platform {

uint32_t renderResets = 0;

namespace {

// The window framebuffer lent to a surface: one at a time, as one window presents.
struct PixelLoan {
    WindowObject* window = nullptr;
    Surface* tenant = nullptr;
    uint8_t* memory = nullptr;
};
PixelLoan loan;

// SDL frees a window's framebuffer only when it is asked for it after a resize, or when it recreates or
// destroys the window; every such call here comes after this, so the memory still lives when the
// tenant takes its pixels back.
void endLoan()
{
    if (loan.tenant && loan.tenant->lent() && loan.tenant->data() == loan.memory)
        loan.tenant->takeBack();
    loan = PixelLoan {};
}

// Whether source is shown whole and unscaled over the whole client area of a window that presents
// through its framebuffer (a resized window does not qualify until its framebuffer was made anew).
bool shownWholeThroughFramebuffer(const WindowObject& window, const Surface& source, const RECT& src, const RECT& dst)
{
    if (window.path != PresentPath::Framebuffer || window.exclusive || !window.sdl)
        return false;
    int w = 0, h = 0;
    SDL_GetWindowSize(window.sdl, &w, &h);
    return source.width == w && source.height == h && src.left == 0 && src.top == 0 && src.right == w
        && src.bottom == h && dst.left == 0 && dst.top == 0 && dst.right == w && dst.bottom == h;
}

uint32_t sdlFormatOf(PixelFormat format)
{
    return format == PixelFormat::RGB565 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888;
}

// The rectangle of the physical client area that the screen maps to.
SDL_Rect viewportOf(const WindowObject& window, int physicalWidth, int physicalHeight)
{
    if (!window.exclusive || window.screenWidth <= 0 || window.screenHeight <= 0)
        return SDL_Rect { 0, 0, physicalWidth, physicalHeight };
    // Largest rectangle of the screen's aspect that fits, centred.
    long w = physicalWidth;
    long h = static_cast<long>(physicalWidth) * window.screenHeight / window.screenWidth;
    if (h > physicalHeight) {
        h = physicalHeight;
        w = static_cast<long>(physicalHeight) * window.screenWidth / window.screenHeight;
    }
    return SDL_Rect { static_cast<int>((physicalWidth - w) / 2), static_cast<int>((physicalHeight - h) / 2),
        static_cast<int>(w), static_cast<int>(h) };
}

// Clips the source and destination rectangles together against the source surface and the client
// area; false when nothing is left.
bool clipRects(const Surface& source, RECT& src, RECT& dst, int clientWidth, int clientHeight)
{
    int srcW = src.right - src.left, srcH = src.bottom - src.top;
    int dstW = dst.right - dst.left, dstH = dst.bottom - dst.top;
    if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0)
        return false;
    if (src.left < 0 || src.top < 0 || src.right > source.width || src.bottom > source.height)
        return false;
    // Cut the destination to the client area and the source by the same proportion.
    auto cut = [](LONG& dLow, LONG& dHigh, LONG& sLow, LONG& sHigh, int limit) {
        double scale = static_cast<double>(sHigh - sLow) / (dHigh - dLow);
        if (dLow < 0) {
            sLow += static_cast<LONG>(-dLow * scale);
            dLow = 0;
        }
        if (dHigh > limit) {
            sHigh -= static_cast<LONG>((dHigh - limit) * scale);
            dHigh = limit;
        }
    };
    cut(dst.left, dst.right, src.left, src.right, clientWidth);
    cut(dst.top, dst.bottom, src.top, src.bottom, clientHeight);
    return dst.right > dst.left && dst.bottom > dst.top && src.right > src.left && src.bottom > src.top;
}

SDL_Rect toPhysical(const WindowObject& window, const RECT& r, const SDL_Rect& view)
{
    if (!window.exclusive)
        return SDL_Rect { r.left, r.top, r.right - r.left, r.bottom - r.top };
    auto mapX = [&](long x) { return static_cast<int>(view.x + x * view.w / window.screenWidth); };
    auto mapY = [&](long y) { return static_cast<int>(view.y + y * view.h / window.screenHeight); };
    int x0 = mapX(r.left), x1 = mapX(r.right), y0 = mapY(r.top), y1 = mapY(r.bottom);
    return SDL_Rect { x0, y0, x1 - x0, y1 - y0 };
}

bool presentWithTexture(WindowObject& window, const Surface& source, const RECT& src, const SDL_Rect& dst)
{
    if (!window.renderer) {
        window.renderer = SDL_CreateRenderer(window.sdl, -1, 0);
        if (!window.renderer) {
            platformLog("Presentation: no renderer: %s\n", SDL_GetError());
            return false;
        }
        SDL_RendererInfo info {};
        if (SDL_GetRendererInfo(window.renderer, &info) == 0)
            platformLog("Presentation: SDL renderer %s.\n", info.name);
    }
    uint32_t format = sdlFormatOf(source.format);
    if (!window.texture || window.textureFormat != format || window.textureWidth != source.width
        || window.textureHeight != source.height) {
        if (window.texture)
            SDL_DestroyTexture(window.texture);
        window.texture
            = SDL_CreateTexture(window.renderer, format, SDL_TEXTUREACCESS_STREAMING, source.width, source.height);
        if (!window.texture) {
            platformLog("Presentation: no texture: %s\n", SDL_GetError());
            return false;
        }
        SDL_SetTextureScaleMode(window.texture, SDL_ScaleModeLinear);
        window.textureFormat = format;
        window.textureWidth = source.width;
        window.textureHeight = source.height;
    }
    SDL_Rect area { src.left, src.top, src.right - src.left, src.bottom - src.top };
    const uint8_t* first = source.row(area.y) + area.x * (source.bitsPerPixel() / 8);
    if (SDL_UpdateTexture(window.texture, &area, first, source.pitch) != 0)
        return false;
    SDL_SetRenderDrawColor(window.renderer, 0, 0, 0, 255);
    SDL_RenderClear(window.renderer);
    SDL_RenderCopy(window.renderer, window.texture, &area, &dst);
    SDL_RenderPresent(window.renderer);
    return true;
}

// Whether SDL's renderer runs on graphics hardware rather than a software rasteriser (SDL's own, or
// an OpenGL one such as llvmpipe). Asked once, on a hidden window of its own, so that the window being
// shown keeps its framebuffer.
bool hardwareRenderer()
{
    static int known = -1;
    if (known >= 0)
        return known == 1;
    known = 0;
    // A video driver that shows nothing (offscreen, dummy) has no graphics hardware behind it worth
    // loading a whole OpenGL stack for.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || (std::strcmp(driver, "x11") != 0 && std::strcmp(driver, "wayland") != 0
                       && std::strcmp(driver, "kmsdrm") != 0)) {
        platformLog("Presentation: video driver %s; full-screen scaling on the CPU.\n", driver ? driver : "none");
        return false;
    }
    SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    if (!probe) {
        platformLog("Presentation: no OpenGL window (%s); scaling on the CPU.\n", SDL_GetError());
        return false;
    }
    std::string renderer = "none";
    if (SDL_Renderer* r = SDL_CreateRenderer(probe, -1, SDL_RENDERER_ACCELERATED)) {
        SDL_RendererInfo info {};
        if (SDL_GetRendererInfo(r, &info) == 0 && (info.flags & SDL_RENDERER_ACCELERATED)
            && std::strcmp(info.name, "software") != 0) {
            renderer = info.name;
            using GetString = const unsigned char* (*)(unsigned int);
            constexpr unsigned int glRenderer = 0x1F01;
            auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
            const unsigned char* device = std::strncmp(info.name, "opengl", 6) == 0 && getString
                ? getString(glRenderer)
                : nullptr;
            if (device)
                renderer += std::string(" on ") + reinterpret_cast<const char*>(device);
            const bool rasteriser = device
                && (std::strstr(reinterpret_cast<const char*>(device), "llvmpipe")
                    || std::strstr(reinterpret_cast<const char*>(device), "softpipe")
                    || std::strstr(reinterpret_cast<const char*>(device), "swrast")
                    || std::strstr(reinterpret_cast<const char*>(device), "Software"));
            known = rasteriser ? 0 : 1;
        }
        SDL_DestroyRenderer(r);
    }
    SDL_DestroyWindow(probe);
    platformLog("Presentation: renderer %s; full-screen scaling on the %s.\n", renderer.c_str(),
        known == 1 ? "GPU" : "CPU");
    return known == 1;
}

// Filters area of source into target of the window's framebuffer (bilinear up, area average down).
bool scaleIntoFramebuffer(WindowObject& window, const Surface& source, const SDL_Rect& area, SDL_Surface* frame,
    const SDL_Rect& target)
{
    PixelTarget out;
    const SDL_PixelFormat& format = *frame->format;
    if (format.BytesPerPixel == 4 && format.Rmask == 0xFF0000 && format.Gmask == 0xFF00 && format.Bmask == 0xFF)
        out.format = PixelFormat::XRGB8888;
    else if (format.format == SDL_PIXELFORMAT_RGB565)
        out.format = PixelFormat::RGB565;
    else
        return false;
    if (target.x < 0 || target.y < 0 || target.w <= 0 || target.h <= 0 || target.x + target.w > frame->w
        || target.y + target.h > frame->h)
        return false;
    if (SDL_MUSTLOCK(frame) && SDL_LockSurface(frame) != 0)
        return false;
    out.pitch = frame->pitch;
    out.width = target.w;
    out.height = target.h;
    out.pixels = static_cast<uint8_t*>(frame->pixels) + static_cast<size_t>(target.y) * frame->pitch
        + static_cast<size_t>(target.x) * format.BytesPerPixel;
    window.scaler.scale(source, RECT { area.x, area.y, area.x + area.w, area.y + area.h }, out);
    if (SDL_MUSTLOCK(frame))
        SDL_UnlockSurface(frame);
    return true;
}

bool presentWithFramebuffer(WindowObject& window, const Surface& source, const RECT& src, const SDL_Rect& dst)
{
    SDL_Surface* frame = SDL_GetWindowSurface(window.sdl);
    if (!frame)
        return false;
    // Black only where the picture does not land: a full-window picture overwrites every pixel anyway.
    Uint32 black = SDL_MapRGB(frame->format, 0, 0, 0);
    SDL_Rect shown {};
    SDL_Rect whole { 0, 0, frame->w, frame->h };
    if (!SDL_IntersectRect(&dst, &whole, &shown)) {
        SDL_FillRect(frame, nullptr, black);
    } else {
        SDL_Rect bands[4] = { { 0, 0, frame->w, shown.y },
            { 0, shown.y + shown.h, frame->w, frame->h - shown.y - shown.h },
            { 0, shown.y, shown.x, shown.h },
            { shown.x + shown.w, shown.y, frame->w - shown.x - shown.w, shown.h } };
        for (const SDL_Rect& band : bands)
            if (band.w > 0 && band.h > 0)
                SDL_FillRect(frame, &band, black);
    }
    SDL_Rect area { src.left, src.top, src.right - src.left, src.bottom - src.top };
    SDL_Surface* view = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(source.data()),
        source.width, source.height, source.bitsPerPixel(), source.pitch, sdlFormatOf(source.format));
    if (!view)
        return false;
    SDL_Rect target = dst;
    bool ok = area.w == dst.w && area.h == dst.h
        ? SDL_BlitSurface(view, &area, frame, &target) == 0
        : scaleIntoFramebuffer(window, source, area, frame, target) || SDL_BlitScaled(view, &area, frame, &target) == 0;
    SDL_FreeSurface(view);
    return ok && SDL_UpdateWindowSurface(window.sdl) == 0;
}

}

SDL_Rect exclusiveViewport(const WindowObject& window)
{
    int w = 0, h = 0;
    if (window.sdl)
        SDL_GetWindowSize(window.sdl, &w, &h);
    return viewportOf(window, w, h);
}

void releasePresentation(WindowObject& window)
{
    if (loan.window == &window)
        endLoan();
    if (window.texture)
        SDL_DestroyTexture(window.texture);
    if (window.renderer)
        SDL_DestroyRenderer(window.renderer);
    window.texture = nullptr;
    window.renderer = nullptr;
}

bool enterExclusiveMode(HWND handle, int width, int height)
{
    WindowObject* window = liveWindow(handle);
    if (!window || width <= 0 || height <= 0)
        return false;
    if (loan.window == window)
        endLoan();  // the window's framebuffer is not shown 1:1 any more
    if (!window->exclusive) {
        GetWindowRect(handle, &window->restoreRect);
        window->restoreVisible = window->visible;
    }
    // Cover the desktop as a borderless window first: without a window manager nobody acts on the
    // full-screen request, and with one the request then only confirms the geometry.
    SDL_Rect bounds {};
    int displayIndex = SDL_GetWindowDisplayIndex(window->sdl);
    if (SDL_GetDisplayBounds(displayIndex < 0 ? 0 : displayIndex, &bounds) != 0)
        return false;
    SDL_SetWindowBordered(window->sdl, SDL_FALSE);
    SDL_SetWindowPosition(window->sdl, bounds.x, bounds.y);
    SDL_SetWindowSize(window->sdl, bounds.w, bounds.h);
    SDL_ShowWindow(window->sdl);
    if (SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        platformLog("Full screen refused: %s\n", SDL_GetError());
        if (!window->restoreVisible)
            SDL_HideWindow(window->sdl);
        return false;
    }
    window->exclusive = true;
    window->screenWidth = width;
    window->screenHeight = height;
    window->visible = true;
    window->needsPaint = true;
    // The hidden-then-shown full-screen window must take the keyboard, or no command reaches it.
    SDL_RaiseWindow(window->sdl);
    SDL_SetWindowInputFocus(window->sdl);
    settleKeyboard();
    return true;
}

void leaveExclusiveMode(HWND handle)
{
    WindowObject* window = liveWindow(handle);
    if (!window || !window->exclusive)
        return;
    if (loan.window == window)
        endLoan();
    SDL_SetWindowFullscreen(window->sdl, 0);
    window->exclusive = false;
    SDL_SetWindowBordered(window->sdl, (window->style & WS_CAPTION) == WS_CAPTION ? SDL_TRUE : SDL_FALSE);
    RECT r = window->restoreRect;
    MoveWindow(handle, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
    if (!window->restoreVisible) {
        SDL_HideWindow(window->sdl);
        settleKeyboard();
        window->visible = false;
    }
}

bool inExclusiveMode(HWND handle)
{
    WindowObject* window = liveWindow(handle);
    return window && window->exclusive;
}

bool presentToWindow(HWND handle, const Surface& source, const RECT& sourceRect, const RECT& destination)
{
    WindowObject* window = liveWindow(handle);
    if (!window || !window->sdl)
        return false;
    endLoan();
    RECT clientRect {};
    GetClientRect(handle, &clientRect);
    RECT src = sourceRect, dst = destination;
    if (!clipRects(source, src, dst, clientRect.right, clientRect.bottom))
        return false;
    int physicalW = 0, physicalH = 0;
    SDL_GetWindowSize(window->sdl, &physicalW, &physicalH);
    SDL_Rect view = viewportOf(*window, physicalW, physicalH);
    SDL_Rect target = toPhysical(*window, dst, view);
    bool scaled = target.w != src.right - src.left || target.h != src.bottom - src.top;
    bool shown;
    if (window->path == PresentPath::Texture || (scaled && window->exclusive && hardwareRenderer())) {
        shown = presentWithTexture(*window, source, src, target);
    } else {
        // Back at 1:1 after a GPU-scaled full screen: the framebuffer takes over from the renderer.
        if (window->renderer)
            releasePresentation(*window);
        shown = presentWithFramebuffer(*window, source, src, target);
    }
    traceFrameEvent('P', 0);
    return shown;
}

bool readShownPicture(HWND handle, Surface& picture)
{
    WindowObject* window = liveWindow(handle);
    if (!window || !window->sdl || window->renderer)
        return false;
    SDL_Surface* frame = SDL_GetWindowSurface(window->sdl);
    if (!frame)
        return false;
    picture = Surface(frame->w, frame->h, PixelFormat::XRGB8888);
    if (SDL_MUSTLOCK(frame) && SDL_LockSurface(frame) != 0)
        return false;
    int rc = SDL_ConvertPixels(frame->w, frame->h, frame->format->format, frame->pixels, frame->pitch,
        SDL_PIXELFORMAT_XRGB8888, picture.data(), picture.pitch);
    if (SDL_MUSTLOCK(frame))
        SDL_UnlockSurface(frame);
    return rc == 0;
}

bool presentToWindowLending(HWND handle, Surface& source, const RECT& sourceRect, const RECT& destination)
{
    WindowObject* window = liveWindow(handle);
    if (window && loan.window == window && loan.tenant == &source && source.lent() && source.data() == loan.memory
        && shownWholeThroughFramebuffer(*window, source, sourceRect, destination)) {
        // The frame was composed in the framebuffer: showing it is all that is left.
        bool shown = SDL_UpdateWindowSurface(window->sdl) == 0;
        traceFrameEvent('P', 0);
        return shown;
    }
    bool shown = presentToWindow(handle, source, sourceRect, destination);
    if (!shown || !window || !shownWholeThroughFramebuffer(*window, source, sourceRect, destination))
        return shown;
    // The framebuffer just shown (so still valid) now holds an exact copy of source.
    SDL_Surface* frame = SDL_GetWindowSurface(window->sdl);
    if (frame && !SDL_MUSTLOCK(frame) && frame->w == source.width && frame->h == source.height
        && frame->pitch == source.pitch && frame->format->format == sdlFormatOf(source.format)) {
        source.lend(static_cast<uint8_t*>(frame->pixels));
        loan = PixelLoan { window, &source, static_cast<uint8_t*>(frame->pixels) };
        platformLog("Presentation: frames of %dx%d are composed in the window's framebuffer.\n", source.width, source.height);
    }
    return shown;
}

void endWindowPixelLoan(Surface& surface)
{
    if (loan.tenant == &surface)
        endLoan();
}

bool windowFramebufferPixels(HWND handle, Surface& shown)
{
    WindowObject* window = liveWindow(handle);
    if (!window || !window->sdl || window->path != PresentPath::Framebuffer)
        return false;
    int w = 0, h = 0;
    SDL_GetWindowSize(window->sdl, &w, &h);
    // A resized window's framebuffer is made anew (and the old one freed) when it is asked for.
    if (loan.window == window && (loan.tenant->width != w || loan.tenant->height != h))
        endLoan();
    return readShownPicture(handle, shown);
}

uint32_t presentationResets() { return renderResets; }

}

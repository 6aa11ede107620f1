// A scaled full-screen picture goes to the GPU when SDL's renderer runs on real graphics hardware, and
// is otherwise filtered on the CPU straight into the framebuffer.
#include "platform/screen/screen.h"

#include "platform/frame_trace.h"
#include "platform/kernel.h"
#include "platform/screen/sdl_pixels.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace platform {

PresentPath defaultPresentPath()
{
    const char* path = std::getenv("SUBLUMEN_PRESENT");
    return path && !std::strcmp(path, "texture") ? PresentPath::Texture : PresentPath::Framebuffer;
}

Screen Screen::open(const char* title, int x, int y, int width, int height, bool bordered, PresentPath path)
{
    Screen screen;
    screen.path_ = path;
    Uint32 flags = SDL_WINDOW_HIDDEN | (bordered ? 0 : SDL_WINDOW_BORDERLESS);
    // A Wayland compositor enlarges a window at an output scale above 1 itself, texts and all, unless the
    // window draws at the output's pixels; its size stays logical, which is the client size.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && !std::strcmp(driver, "wayland")) {
        flags |= SDL_WINDOW_ALLOW_HIGHDPI;
        screen.highDpi_ = true;
    }
    // The renderer path asks for an OpenGL window up front so that creating the renderer later does not
    // recreate the window under the user's hands; drivers without OpenGL get a plain window.
    if (path == PresentPath::Texture)
        screen.window_ = SDL_CreateWindow(title, x, y, width, height, flags | SDL_WINDOW_OPENGL);
    if (!screen.window_)
        screen.window_ = SDL_CreateWindow(title, x, y, width, height, flags);
    if (!screen.window_)
        platformLog("CreateWindowExA: %s\n", SDL_GetError());
    return screen;
}

Screen::Screen(Screen&& other) noexcept { *this = std::move(other); }

Screen& Screen::operator=(Screen&& other) noexcept
{
    if (this == &other)
        return *this;
    close();
    window_ = std::exchange(other.window_, nullptr);
    path_ = other.path_;
    renderer_ = std::exchange(other.renderer_, nullptr);
    borrowedRenderer_ = std::exchange(other.borrowedRenderer_, false);
    texture_ = std::exchange(other.texture_, nullptr);
    textureFormat_ = other.textureFormat_;
    textureWidth_ = other.textureWidth_;
    textureHeight_ = other.textureHeight_;
    framebuffer_ = std::exchange(other.framebuffer_, nullptr);
    keeper_ = std::move(other.keeper_);
    scaler_ = std::move(other.scaler_);
    exclusive_ = std::exchange(other.exclusive_, false);
    screenWidth_ = other.screenWidth_;
    screenHeight_ = other.screenHeight_;
    scale_ = other.scale_;
    highDpi_ = other.highDpi_;
    loggedDensity_ = other.loggedDensity_;
    preferredScale_ = other.preferredScale_;
    hardware_ = other.hardware_;
    resets_ = other.resets_;
    painter_ = std::move(other.painter_);
    paintScale_ = other.paintScale_;
    presented_ = std::move(other.presented_);
    return *this;
}

Screen::~Screen() { close(); }

void Screen::close()
{
    endFrame();
    releaseRenderer();
    if (window_)
        SDL_DestroyWindow(window_);
    window_ = nullptr;
    exclusive_ = false;
}

ScreenGeometry Screen::geometry() const
{
    ScreenGeometry g;
    if (window_)
        SDL_GetWindowSizeInPixels(window_, &g.physicalWidth, &g.physicalHeight);
    g.exclusive = exclusive_;
    g.scale = exclusive_ ? 1.0 : scale();
    g.density = density();
    g.screenWidth = screenWidth_;
    g.screenHeight = screenHeight_;
    return g;
}

double Screen::density() const
{
    if (!highDpi_ || !window_)
        return 1.0;
    int w = 0, h = 0, pixelsWide = 0, pixelsHigh = 0;
    SDL_GetWindowSize(window_, &w, &h);
    SDL_GetWindowSizeInPixels(window_, &pixelsWide, &pixelsHigh);
    // SDL sizes the drawable from the output's logical size, so fractional scales (1.5) come through too;
    // the width, the larger figure, says it most exactly.
    return w > 0 && pixelsWide > w ? static_cast<double>(pixelsWide) / w : 1.0;
}

double Screen::scale() const { return highDpi_ ? density() : scale_; }

bool Screen::enterExclusive(int width, int height)
{
    if (!window_ || width <= 0 || height <= 0)
        return false;
    endFrame();  // the framebuffer is not shown 1:1 any more
    // Cover the desktop as a borderless window first: without a window manager nobody acts on the
    // full-screen request, and with one the request then only confirms the geometry.
    SDL_Rect bounds {};
    int displayIndex = SDL_GetWindowDisplayIndex(window_);
    if (SDL_GetDisplayBounds(displayIndex < 0 ? 0 : displayIndex, &bounds) != 0)
        return false;
    SDL_SetWindowBordered(window_, SDL_FALSE);
    SDL_SetWindowPosition(window_, bounds.x, bounds.y);
    SDL_SetWindowSize(window_, bounds.w, bounds.h);
    SDL_ShowWindow(window_);
    if (SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        platformLog("Full screen refused: %s\n", SDL_GetError());
        return false;
    }
    exclusive_ = true;
    screenWidth_ = width;
    screenHeight_ = height;
    // The hidden-then-shown full-screen window must take the keyboard, or no command reaches it.
    SDL_RaiseWindow(window_);
    SDL_SetWindowInputFocus(window_);
    return true;
}

void Screen::leaveExclusive()
{
    if (!window_ || !exclusive_)
        return;
    endFrame();
    SDL_SetWindowFullscreen(window_, 0);
    exclusive_ = false;
}

PixelView Screen::frame() const
{
    if (!window_ || !framebuffer_ || path_ != PresentPath::Framebuffer || renderer_ || SDL_MUSTLOCK(framebuffer_))
        return {};
    int w = 0, h = 0;
    SDL_GetWindowSizeInPixels(window_, &w, &h);
    // Full screen shows its screen 1:1 only at the display's own size.
    if (framebuffer_->w != w || framebuffer_->h != h || (exclusive_ && (screenWidth_ != w || screenHeight_ != h)))
        return {};
    PixelView view { static_cast<uint8_t*>(framebuffer_->pixels), framebuffer_->pitch, w, h };
    if (framebuffer_->format->format == SDL_PIXELFORMAT_RGB565)
        view.format = PixelFormat::RGB565;
    else if (framebuffer_->format->format != SDL_PIXELFORMAT_XRGB8888)
        return {};
    return view;
}

void Screen::keepFrameIn(const std::shared_ptr<Surface>& keeper)
{
    const PixelView shown = frame();
    if (!keeper || shown.empty() || keeper->width != shown.width || keeper->height != shown.height
        || keeper->format != shown.format || keeper->pitch != shown.pitch)
        return;
    if (keeper_.lock() != keeper)
        platformLog("Presentation: frames of %dx%d are composed in the window's framebuffer.\n", shown.width,
            shown.height);
    keeper_ = keeper;
}

// SDL frees the framebuffer only when it is asked for it after a resize, or when it recreates or
// destroys the window; every such call here comes after this, so the memory still lives.
void Screen::endFrame()
{
    std::shared_ptr<Surface> keeper = keeper_.lock();
    keeper_.reset();
    if (keeper && framebuffer_ && keeper->width == framebuffer_->w && keeper->height == framebuffer_->h
        && keeper->pitch == framebuffer_->pitch)
        std::memcpy(keeper->data(), framebuffer_->pixels, keeper->pixels.size());
    framebuffer_ = nullptr;
}

bool Screen::present(ConstPixelView source, const RECT& sourceRect, const RECT& destination)
{
    if (!window_)
        return false;
    const ScreenGeometry g = geometry();
    if (framebuffer_ && source.data() == framebuffer_->pixels) {
        // The picture was drawn where it is shown: showing it is all that is left.
        const PixelView shown = frame();
        const RECT whole { 0, 0, shown.width, shown.height };
        auto same = [](const RECT& a, const RECT& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
        if (!keeper_.expired() && !shown.empty() && source.width == shown.width && source.height == shown.height
            && same(sourceRect, whole) && same(destination, whole) && SDL_UpdateWindowSurface(window_) == 0) {
            traceFrameEvent('P', 0);
            return true;
        }
        // Shown any other way (or the window's framebuffer was made anew) the frame goes first, and with
        // it the memory the picture is in: the picture is shown from the copy its keeper takes.
        const std::shared_ptr<Surface> keeper = keeper_.lock();
        endFrame();
        if (!keeper || keeper->width != source.width || keeper->height != source.height)
            return false;
        return present(*keeper, sourceRect, destination);
    }
    endFrame();
    RECT src = sourceRect, dst = destination;
    if (!clipToClient(source.width, source.height, src, dst, g.clientWidth(), g.clientHeight()))
        return false;
    const Area target = physicalFromClient(g, dst);
    const bool scaled = target.w != src.right - src.left || target.h != src.bottom - src.top;
    bool shown;
    const double enlarged = painter_ ? presentedScale() : 1.0;
    // SDL's framebuffer has the window's logical size: a denser drawable is reached only by a renderer.
    const bool dense = g.density > 1.0;
    if (dense != (loggedDensity_ > 1.0) || (dense && g.density != loggedDensity_))
        platformLog("Display scale: the compositor's output scale is %.3g; the window is drawn at its pixels.\n",
            g.density);
    loggedDensity_ = g.density;
    if (enlarged > 1.0 && target == viewportOf(g)) {
        shown = presentPainted(source, src, target, enlarged);
    } else if (path_ == PresentPath::Texture || dense || (scaled && exclusive_ && hardwareRenderer())) {
        shown = presentWithTexture(source, src, target);
    } else {
        // Back at 1:1 after a GPU-scaled full screen: the framebuffer takes over from the renderer.
        if (renderer_)
            releaseRenderer();
        shown = presentWithFramebuffer(source, src, target);
    }
    traceFrameEvent('P', 0);
    return shown;
}

bool Screen::fitScale(int width, int height, int roomWidth, int roomHeight)
{
    double scale = preferredScale_;
    if (width > 0 && height > 0 && roomWidth > 0 && roomHeight > 0)
        scale = std::min({ scale, static_cast<double>(roomWidth) / width, static_cast<double>(roomHeight) / height });
    scale = std::max(scale, 1.0);
    if (highDpi_ || scale == scale_)
        return false;
    scale_ = scale;
    return true;
}

double Screen::presentedScale() const
{
    const ScreenGeometry g = geometry();
    if (!g.exclusive)
        return g.scale;
    if (g.screenWidth <= 0 || g.screenHeight <= 0)
        return 1.0;
    const Area view = viewportOf(g);
    const double f = std::min(static_cast<double>(view.w) / g.screenWidth, static_cast<double>(view.h) / g.screenHeight);
    return f > 1.0 ? f : 1.0;
}

// The picture is scaled where it is shown and the painter draws on it there: straight in the framebuffer,
// or for a renderer in memory of the shown size that the texture then takes 1:1.
bool Screen::presentPainted(ConstPixelView source, const RECT& src, const Area& target, double scale)
{
    if (path_ == PresentPath::Framebuffer && density() <= 1.0 && !hardwareRenderer()) {
        if (renderer_)
            releaseRenderer();
        paintScale_ = scale;
        const bool shown = presentWithFramebuffer(source, src, target);
        paintScale_ = 0;
        return shown;
    }
    if (presented_.width != target.w || presented_.height != target.h || presented_.format != source.format)
        presented_ = Surface(target.w, target.h, source.format);
    scaler_.scale(source, src, presented_.view());
    painter_(presented_.view(), scale);
    const RECT whole { 0, 0, target.w, target.h };
    return presentWithTexture(presented_, whole, target);
}

namespace {

// Lends draw a view of target within frame, locked while it draws. False when target lies outside the
// frame or the frame's format is not one pictures are drawn in.
template <class Draw> bool drawInFramebuffer(SDL_Surface* frame, const Area& target, Draw&& draw)
{
    if (!frame || target.x < 0 || target.y < 0 || target.w <= 0 || target.h <= 0 || target.x + target.w > frame->w
        || target.y + target.h > frame->h)
        return false;
    const SDL_PixelFormat& format = *frame->format;
    PixelView out;
    if (format.BytesPerPixel == 4 && format.Rmask == 0xFF0000 && format.Gmask == 0xFF00 && format.Bmask == 0xFF)
        out.format = PixelFormat::XRGB8888;
    else if (format.format == SDL_PIXELFORMAT_RGB565)
        out.format = PixelFormat::RGB565;
    else
        return false;
    if (SDL_MUSTLOCK(frame) && SDL_LockSurface(frame) != 0)
        return false;
    out.pitch = frame->pitch;
    out.width = target.w;
    out.height = target.h;
    out.bytes = static_cast<uint8_t*>(frame->pixels) + static_cast<size_t>(target.y) * frame->pitch
        + static_cast<size_t>(target.x) * format.BytesPerPixel;
    draw(out);
    if (SDL_MUSTLOCK(frame))
        SDL_UnlockSurface(frame);
    return true;
}

}

bool Screen::paintFramebuffer(const Area& target)
{
    return drawInFramebuffer(framebuffer_, target, [this](PixelView out) { painter_(out, paintScale_); });
}

// Filters src of source into target of the framebuffer (bilinear up, area average down).
bool Screen::scaleIntoFramebuffer(ConstPixelView source, const RECT& src, const Area& target)
{
    return drawInFramebuffer(framebuffer_, target, [&](PixelView out) { scaler_.scale(source, src, out); });
}

bool Screen::presentWithFramebuffer(ConstPixelView source, const RECT& src, const Area& dst)
{
    framebuffer_ = SDL_GetWindowSurface(window_);
    SDL_Surface* frame = framebuffer_;
    if (!frame)
        return false;
    // Black only where the picture does not land: a full-window picture overwrites every pixel anyway.
    const Uint32 black = SDL_MapRGB(frame->format, 0, 0, 0);
    const SDL_Rect to = sdlRect(dst);
    SDL_Rect shown {};
    SDL_Rect whole { 0, 0, frame->w, frame->h };
    if (!SDL_IntersectRect(&to, &whole, &shown)) {
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
    SDL_Surface* view = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(source.data()), source.width,
        source.height, source.bitsPerPixel(), source.pitch, sdlFormatOf(source.format));
    if (!view)
        return false;
    SDL_Rect target = to;
    const bool ok = area.w == to.w && area.h == to.h
        ? SDL_BlitSurface(view, &area, frame, &target) == 0
        : scaleIntoFramebuffer(source, src, dst) || SDL_BlitScaled(view, &area, frame, &target) == 0;
    SDL_FreeSurface(view);
    if (ok && paintScale_ > 0)
        paintFramebuffer(dst);
    return ok && SDL_UpdateWindowSurface(window_) == 0;
}

bool Screen::readShown(Surface& picture)
{
    if (!window_ || renderer_ || density() > 1.0)
        return false;
    if (frame().empty())
        endFrame();  // asking SDL for the framebuffer may free the one the frame is in
    framebuffer_ = SDL_GetWindowSurface(window_);
    SDL_Surface* frame = framebuffer_;
    if (!frame)
        return false;
    picture = Surface(frame->w, frame->h, PixelFormat::XRGB8888);
    if (SDL_MUSTLOCK(frame) && SDL_LockSurface(frame) != 0)
        return false;
    const int rc = SDL_ConvertPixels(frame->w, frame->h, frame->format->format, frame->pixels, frame->pitch,
        SDL_PIXELFORMAT_XRGB8888, picture.data(), picture.pitch);
    if (SDL_MUSTLOCK(frame))
        SDL_UnlockSurface(frame);
    return rc == 0;
}

}

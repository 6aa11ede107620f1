// The screen of one shown window: its SDL window, the renderer and texture that scale a picture on
// graphics hardware, the scaler that does it on the CPU, and the exclusive full-screen mode. Pictures
// reach SDL only through here.
#pragma once

#include "platform/picture_scaling.h"
#include "platform/screen/screen_geometry.h"
#include "platform/surface.h"

#include <cstdint>
#include <functional>
#include <memory>

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Surface;

namespace platform {

// How pictures are shown: through the window's own framebuffer (a 1:1 picture costs one copy, or none
// when it was drawn in the framebuffer), or through a renderer with a streaming texture in the
// picture's own format (SUBLUMEN_PRESENT=texture), which scales with linear filtering on the GPU.
enum class PresentPath { Texture, Framebuffer };
PresentPath defaultPresentPath();

class Screen {
public:
    Screen() = default;
    // A hidden window of the given outer geometry; empty (no window()) when SDL refuses, as it logs.
    static Screen open(const char* title, int x, int y, int width, int height, bool bordered, PresentPath path);
    Screen(Screen&& other) noexcept;
    Screen& operator=(Screen&& other) noexcept;
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;
    ~Screen();

    SDL_Window* window() const { return window_; }
    PresentPath path() const { return path_; }
    ScreenGeometry geometry() const;
    bool exclusive() const { return exclusive_; }
    // The desktop's scale outside exclusive mode: the window's physical size is its client size times
    // this, and its pictures are enlarged to fill it. On a compositor that scales windows itself it is
    // the window's pixel density, which follows the output the window is on.
    double scale() const;
    // Device pixels per unit of SDL's window coordinates (sizes, positions, the mouse): above 1 only for
    // a window whose compositor keeps its logical size and lets it draw at the output's scale.
    double density() const;
    // The factor from client coordinates to SDL's window coordinates.
    double windowUnitScale() const { return highDpi_ ? 1.0 : scale_; }
    void setScale(double scale) { preferredScale_ = scale_ = scale > 1.0 ? scale : 1.0; }
    // The desktop's scale, or less (not below 1) when a client area of width × height would not fit
    // into room × roomHeight device pixels at it; true when that changed the scale. A compositor's own
    // scale is never lowered: the window keeps its logical size there.
    bool fitScale(int width, int height, int roomWidth, int roomHeight);

    // Covers the window's display as a borderless full-screen window standing for a screen of
    // width × height, whose pictures are scaled to fill it with their aspect kept. False when refused.
    bool enterExclusive(int width, int height);
    // Back to a plain window; its frame and geometry are the caller's to set.
    void leaveExclusive();

    // Shows sourceRect of source at destination (client coordinates), clipped to the client area, on
    // black. False when nothing could be shown.
    bool present(ConstPixelView source, const RECT& sourceRect, const RECT& destination);
    // The memory the window shows from when the last picture went through the framebuffer at the
    // window's size (in full screen, a screen of the display's own size): a picture drawn into it is
    // shown by presenting it whole and 1:1. Valid until the next present of anything else or a resize;
    // empty when there is no such memory.
    PixelView frame() const;
    // Until the frame next stops being shown as it is (another present, a resize, full screen, a reset,
    // the screen's end), whoever draws in it keeps a surface of its layout; before the frame's memory can
    // go, its pixels are copied there and the keeper is let go.
    void keepFrameIn(const std::shared_ptr<Surface>& keeper);
    const Surface* frameKeeper() const { return keeper_.lock().get(); }
    // Hands the frame to its keeper now.
    void endFrame();
    // What the framebuffer shows, as XRGB8888 at the window's physical size; false when a renderer
    // shows the pictures (as it does at a density above 1) or nothing was shown.
    bool readShown(Surface& picture);

    // The factor the client area is enlarged by where it is shown: above 1 when a full-screen mode
    // smaller than the desktop fills it, or in a window at a desktop scale above 1; else 1.
    double presentedScale() const;
    // While set, a present of the whole client area enlarged scales the picture first and hands painter
    // the shown pixels and the factor before they are shown, so that what it draws is not filtered.
    void setPresentedPainter(std::function<void(PixelView, double)> painter) { painter_ = std::move(painter); }

    // SDL lost the render targets (the texture must be made again) or the whole render device.
    void renderReset(bool deviceLost);
    // How often that happened.
    uint32_t resets() const { return resets_; }

private:
    void close();
    void releaseRenderer();
    bool hardwareRenderer();
    bool presentWithTexture(ConstPixelView source, const RECT& src, const Area& dst);
    bool presentWithFramebuffer(ConstPixelView source, const RECT& src, const Area& dst);
    bool scaleIntoFramebuffer(ConstPixelView source, const RECT& src, const Area& target);
    bool presentPainted(ConstPixelView source, const RECT& src, const Area& target, double scale);
    bool paintFramebuffer(const Area& target);

    SDL_Window* window_ = nullptr;
    PresentPath path_ = PresentPath::Framebuffer;
    SDL_Renderer* renderer_ = nullptr;
    // The renderer is SDL's own, which shows the framebuffer: it goes with the window, not with us.
    bool borrowedRenderer_ = false;
    SDL_Texture* texture_ = nullptr;
    uint32_t textureFormat_ = 0;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    // The window's framebuffer as last asked of SDL, which frees it only when asked again after a resize.
    SDL_Surface* framebuffer_ = nullptr;
    std::weak_ptr<Surface> keeper_;
    PictureScaler scaler_;
    bool exclusive_ = false;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    double scale_ = 1.0;
    // Made on Wayland, where the window's size is logical and its drawable is density() times that.
    bool highDpi_ = false;
    // The density last logged.
    double loggedDensity_ = 1.0;
    double preferredScale_ = 1.0;
    // Whether SDL's renderer runs on graphics hardware: -1 until asked.
    int hardware_ = -1;
    uint32_t resets_ = 0;
    std::function<void(PixelView, double)> painter_;
    // The factor presentWithFramebuffer paints at after scaling; 0 for no painting.
    double paintScale_ = 0;
    // The enlarged picture a renderer shows when painted: scaled and drawn on here first.
    Surface presented_;
};

}

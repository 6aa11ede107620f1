#include "platform/screen/screen.h"
#include "platform/window/window.h"
#include "platform/window/window_screens.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using platform::PixelFormat;
using platform::Surface;
using testing_support::RecordingWindow;

constexpr int W = 64;
constexpr int H = 48;

Surface gradient(int width, int height, PixelFormat format)
{
    Surface s(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            platform::writePixel(s, x, y, platform::packPixel(format, x * 4, y * 5, 200));
    return s;
}

uint32_t shownAt(platform::Screen& screen, int x, int y)
{
    Surface shown;
    EXPECT_TRUE(screen.readShown(shown));
    return x < shown.width && y < shown.height ? platform::readPixel(shown, x, y) & 0xFFFFFF : 0xDEAD;
}

// The window's screen on SDL's offscreen driver: a picture shown 1:1 and one placed on black, a frame
// drawn where it is shown and handed back when the window is resized, and the render resets.
TEST(Screen, ShowsPicturesAndHandsItsFrameBackBeforeItGoes)
{
    RecordingWindow window { W, H };
    ShowWindow(window.handle(), SW_SHOW);
    platform::Screen* screen = platform::screenOf(window.handle());
    ASSERT_NE(screen, nullptr);
    const RECT whole { 0, 0, W, H };

    for (PixelFormat format : { PixelFormat::XRGB8888, PixelFormat::RGB565 }) {
        SCOPED_TRACE(platform::bitsPerPixelOf(format));
        Surface picture = gradient(W, H, format);
        platform::writePixel(picture, 30, 20, platform::packPixel(format, 255, 0, 255));
        ASSERT_TRUE(screen->present(picture, whole, whole));
        EXPECT_EQ(shownAt(*screen, 30, 20), 0xFF00FFu);
    }

    // A quarter of the picture at its centre, on black.
    const Surface picture = gradient(W, H, PixelFormat::XRGB8888);
    ASSERT_TRUE(screen->present(picture, RECT { 0, 0, W / 2, H / 2 }, RECT { W / 4, H / 4, W * 3 / 4, H * 3 / 4 }));
    EXPECT_EQ(shownAt(*screen, 2, 2), 0u);
    EXPECT_EQ(shownAt(*screen, W / 4 + 3, H / 4 + 2), platform::readPixel(picture, 3, 2) & 0xFFFFFF);

    // Shown whole: the frame holds the picture, and what is drawn in it is shown by presenting it.
    ASSERT_TRUE(screen->present(picture, whole, whole));
    platform::PixelView frame = screen->frame();
    ASSERT_FALSE(frame.empty());
    ASSERT_EQ(frame.width, W);
    EXPECT_EQ(platform::readPixel(frame, 7, 9), platform::readPixel(picture, 7, 9));
    auto keeper = std::make_shared<Surface>(W, H, frame.format);
    keeper->pitch = frame.pitch;
    keeper->pixels.assign(static_cast<size_t>(frame.pitch) * H, 0);
    screen->keepFrameIn(keeper);
    ASSERT_EQ(screen->frameKeeper(), keeper.get());
    platform::writePixel(frame, 7, 9, 0x00FF00);
    ASSERT_TRUE(screen->present(frame, whole, whole));
    EXPECT_EQ(shownAt(*screen, 7, 9), 0x00FF00u);
    EXPECT_EQ(screen->frameKeeper(), keeper.get()) << "showing the frame keeps it";

    // A resize: the frame no longer fits, and the next present hands its pixels to the keeper first.
    MoveWindow(window.handle(), 0, 0, W / 2, H / 2, FALSE);
    EXPECT_TRUE(screen->frame().empty());
    ASSERT_TRUE(screen->present(picture, whole, RECT { 0, 0, W / 2, H / 2 }));
    EXPECT_EQ(screen->frameKeeper(), nullptr);
    EXPECT_EQ(platform::readPixel(*keeper, 7, 9) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(platform::readPixel(*keeper, 8, 9), platform::readPixel(picture, 8, 9));

    // Resized and back before the next present: whether SDL made the framebuffer anew or not, what was
    // drawn in the frame is what is shown.
    MoveWindow(window.handle(), 0, 0, W, H, FALSE);
    ASSERT_TRUE(screen->present(picture, whole, whole));
    frame = screen->frame();
    ASSERT_FALSE(frame.empty());
    screen->keepFrameIn(keeper);
    platform::writePixel(frame, 3, 3, 0x0000FF);
    MoveWindow(window.handle(), 0, 0, W / 2, H, FALSE);
    MoveWindow(window.handle(), 0, 0, W, H, FALSE);
    ASSERT_TRUE(screen->present(frame, whole, whole));
    EXPECT_EQ(shownAt(*screen, 3, 3), 0x0000FFu);

    // A lost render device ends the frame as well; every reset is counted.
    ASSERT_TRUE(screen->present(picture, whole, whole));
    screen->keepFrameIn(keeper);
    ASSERT_EQ(screen->frameKeeper(), keeper.get());
    const uint32_t resets = screen->resets();
    screen->renderReset(false);
    EXPECT_EQ(screen->frameKeeper(), keeper.get());
    screen->renderReset(true);
    EXPECT_EQ(screen->frameKeeper(), nullptr);
    EXPECT_EQ(screen->resets(), resets + 2);
}

// Exclusive mode: the client area is the mode's screen, shown scaled in the largest centred rectangle
// of its aspect, and mouse positions come back in the mode's coordinates.
TEST(Screen, AnExclusiveModeIsScaledIntoItsViewport)
{
    RecordingWindow window { W, H };
    platform::Screen* screen = platform::screenOf(window.handle());
    ASSERT_NE(screen, nullptr);
    int desktopWidth = 0, desktopHeight = 0;
    ASSERT_TRUE(platform::desktopSize(window.handle(), desktopWidth, desktopHeight));

    // A mode twice as wide as the desktop's aspect: bands above and below.
    const int modeWidth = desktopWidth / 4, modeHeight = desktopHeight / 8;
    ASSERT_TRUE(platform::enterExclusiveMode(window.handle(), modeWidth, modeHeight));
    EXPECT_TRUE(screen->exclusive());
    const platform::ScreenGeometry g = screen->geometry();
    EXPECT_EQ(g.clientWidth(), modeWidth);
    EXPECT_EQ(g.physicalWidth, desktopWidth);
    RECT client {};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, modeWidth);
    EXPECT_TRUE(screen->frame().empty()) << "a scaled screen has no frame to draw in";

    Surface red(modeWidth, modeHeight, PixelFormat::RGB565);
    for (int y = 0; y < modeHeight; ++y)
        for (int x = 0; x < modeWidth; ++x)
            platform::writePixel(red, x, y, platform::packPixel(red.format, 255, 0, 0));
    const RECT mode { 0, 0, modeWidth, modeHeight };
    ASSERT_TRUE(screen->present(red, mode, mode));
    const platform::Area view = platform::viewportOf(g);
    EXPECT_EQ(view.y, desktopHeight / 4);
    EXPECT_EQ(shownAt(*screen, desktopWidth / 2, desktopHeight / 2), 0xFF0000u);
    EXPECT_EQ(shownAt(*screen, desktopWidth / 2, view.y / 2), 0u) << "the band above is black";

    platform::leaveExclusiveMode(window.handle());
    EXPECT_FALSE(screen->exclusive());
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, W);
}

// A screen moves with everything it owns and leaves nothing behind.
TEST(Screen, MovesWithItsWindow)
{
    RecordingWindow window { W, H };
    ASSERT_NE(platform::screenOf(window.handle()), nullptr);
    platform::Screen moved = platform::Screen::open("moved", 0, 0, W, H, false, platform::PresentPath::Framebuffer);
    ASSERT_NE(moved.window(), nullptr);
    platform::Screen other = std::move(moved);
    EXPECT_EQ(moved.window(), nullptr);
    ASSERT_NE(other.window(), nullptr);
    const Surface picture = gradient(W, H, PixelFormat::XRGB8888);
    const RECT whole { 0, 0, W, H };
    EXPECT_FALSE(moved.present(picture, whole, whole));
    ASSERT_TRUE(other.present(picture, whole, whole));
    EXPECT_EQ(shownAt(other, 5, 5), platform::readPixel(picture, 5, 5) & 0xFFFFFF);
    other = platform::Screen {};
    EXPECT_EQ(other.window(), nullptr);
}

}

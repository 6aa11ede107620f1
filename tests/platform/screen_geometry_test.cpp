#include "platform/screen/screen_geometry.h"

#include <gtest/gtest.h>

namespace {

using platform::Area;
using platform::ScreenGeometry;

struct MappingCase {
    const char* name;
    ScreenGeometry geometry;
    Area viewport;
    POINT physical;  // a mouse position
    POINT client;    // where the window procedure sees it
    RECT clientRect;
    Area physicalRect;  // where that rectangle of the client area is shown
};

// A window, the desktop's own size in full screen, a smaller mode shown with bands at the sides and one
// with bands above and below, and the corners a mouse can reach outside the picture.
const MappingCase mappings[] = {
    { "window", { 800, 600, false, 0, 0 }, { 0, 0, 800, 600 }, { 100, 50 }, { 100, 50 }, { 10, 20, 110, 70 },
        { 10, 20, 100, 50 } },
    { "desktop size", { 1024, 768, true, 1024, 768 }, { 0, 0, 1024, 768 }, { 1023, 767 }, { 1023, 767 },
        { 0, 0, 1024, 768 }, { 0, 0, 1024, 768 } },
    { "4:3 on 16:9", { 1920, 1080, true, 640, 480 }, { 240, 0, 1440, 1080 }, { 960, 540 }, { 320, 240 },
        { 0, 0, 640, 480 }, { 240, 0, 1440, 1080 } },
    { "band at the left", { 1920, 1080, true, 640, 480 }, { 240, 0, 1440, 1080 }, { 0, 0 }, { 0, 0 },
        { 320, 240, 640, 480 }, { 960, 540, 720, 540 } },
    { "16:9 on 5:4", { 1280, 1024, true, 1920, 1080 }, { 0, 152, 1280, 720 }, { 1279, 1023 }, { 1918, 1079 },
        { 0, 0, 1920, 1080 }, { 0, 152, 1280, 720 } },
    { "enlarged thrice", { 1920, 1440, true, 640, 480 }, { 0, 0, 1920, 1440 }, { 5, 5 }, { 1, 1 },
        { 1, 1, 2, 2 }, { 3, 3, 3, 3 } },
    // A 640x480 window at a desktop scale of 1.25 covers 800x600 device pixels.
    { "window at 1.25", { 800, 600, false, 0, 0, 1.25 }, { 0, 0, 800, 600 }, { 799, 599 }, { 639, 479 },
        { 64, 48, 128, 96 }, { 80, 60, 80, 60 } },
    { "window at 3", { 1920, 1440, false, 0, 0, 3.0 }, { 0, 0, 1920, 1440 }, { 1919, 2 }, { 639, 0 },
        { 0, 0, 640, 480 }, { 0, 0, 1920, 1440 } },
};

// Where the compositor scales the window, the mouse comes in its logical units, density() times fewer than
// the pixels: in a window at 2 they are the client's own, and in a 640x480 full-screen mode on a 1280x1024
// output at 2 they pass through the viewport centred 32 pixels down.
TEST(ScreenGeometry, MousePositionsOfADenseWindowAreInClientCoordinates)
{
    const ScreenGeometry window { 1280, 960, false, 0, 0, 2.0, 2.0 };
    const ScreenGeometry full { 1280, 1024, true, 640, 480, 1.0, 2.0 };
    const struct {
        const ScreenGeometry& geometry;
        POINT mouse, client;
    } cases[] = { { window, { 639, 479 }, { 639, 479 } }, { window, { 1, 1 }, { 1, 1 } },
        { full, { 320, 256 }, { 320, 240 } }, { full, { 5, 8 }, { 5, 0 } }, { full, { 639, 511 }, { 639, 479 } } };
    for (const auto& c : cases) {
        const POINT client = platform::clientFromMouse(c.geometry, c.mouse.x, c.mouse.y);
        EXPECT_EQ(client.x, c.client.x) << c.mouse.x << "," << c.mouse.y;
        EXPECT_EQ(client.y, c.client.y) << c.mouse.x << "," << c.mouse.y;
    }
}

TEST(ScreenGeometry, MapsBetweenThePhysicalAreaAndTheClientArea)
{
    for (const MappingCase& c : mappings) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::viewportOf(c.geometry), c.viewport);
        const POINT client = platform::clientFromPhysical(c.geometry, c.physical.x, c.physical.y);
        EXPECT_EQ(client.x, c.client.x);
        EXPECT_EQ(client.y, c.client.y);
        EXPECT_EQ(platform::physicalFromClient(c.geometry, c.clientRect), c.physicalRect);
        EXPECT_EQ(c.geometry.clientWidth(), c.geometry.exclusive ? c.geometry.screenWidth
                                                                 : static_cast<int>(c.geometry.physicalWidth / c.geometry.scale));
    }
}

struct ClipCase {
    const char* name;
    RECT source, destination;
    bool shown;
    RECT clippedSource, clippedDestination;
};

// A 100 x 100 picture on a 200 x 200 client area.
const ClipCase clips[] = {
    { "inside", { 0, 0, 100, 100 }, { 50, 50, 150, 150 }, true, { 0, 0, 100, 100 }, { 50, 50, 150, 150 } },
    { "over the left edge", { 0, 0, 100, 100 }, { -50, 0, 50, 100 }, true, { 50, 0, 100, 100 }, { 0, 0, 50, 100 } },
    { "over the right edge", { 0, 0, 100, 100 }, { 150, 0, 250, 100 }, true, { 0, 0, 50, 100 },
        { 150, 0, 200, 100 } },
    { "enlarged over the top", { 0, 0, 100, 100 }, { 0, -100, 200, 100 }, true, { 0, 50, 100, 100 },
        { 0, 0, 200, 100 } },
    { "wholly outside", { 0, 0, 100, 100 }, { 300, 0, 400, 100 }, false, {}, {} },
    { "source beyond the picture", { 0, 0, 101, 100 }, { 0, 0, 100, 100 }, false, {}, {} },
    { "empty destination", { 0, 0, 100, 100 }, { 10, 10, 10, 50 }, false, {}, {} },
};

TEST(ScreenGeometry, ClipsSourceAndDestinationTogether)
{
    for (const ClipCase& c : clips) {
        SCOPED_TRACE(c.name);
        RECT src = c.source, dst = c.destination;
        ASSERT_EQ(platform::clipToClient(100, 100, src, dst, 200, 200), c.shown);
        if (!c.shown)
            continue;
        EXPECT_TRUE(src.left == c.clippedSource.left && src.top == c.clippedSource.top
            && src.right == c.clippedSource.right && src.bottom == c.clippedSource.bottom)
            << src.left << "," << src.top << "," << src.right << "," << src.bottom;
        EXPECT_TRUE(dst.left == c.clippedDestination.left && dst.top == c.clippedDestination.top
            && dst.right == c.clippedDestination.right && dst.bottom == c.clippedDestination.bottom)
            << dst.left << "," << dst.top << "," << dst.right << "," << dst.bottom;
    }
}

}

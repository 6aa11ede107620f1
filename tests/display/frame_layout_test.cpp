// A frame's drawing steps called again with a layout scaled by two, as on a screen of twice the pixels:
// every fixed size of the status bar, the borders, the overlay's rows and the picture captions' keys
// lands twice as far.
#include "display/frame_drawing.h"
#include "display/frame_layout.h"
#include "display/info_overlay.h"
#include "display/picture_caption_view.h"
#include "platform/gdi/gdi.h"
#include "support/drawing.h"
#include "ui/commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>

using namespace sublumen;
using namespace testing_support;

namespace {

// 640 × 480 with a 720 × 480 picture letterboxed into rows 27 to 453.
FrameLayout letterBox()
{
    FrameLayout layout;
    layout.video = { 0, 0, 720, 480, 0, 27, 640, 426 };
    layout.pictureWidth = 720;
    layout.pictureHeight = 480;
    return layout;
}

PixelBox doubled(const PixelBox& b)
{
    return { b.left * 2, b.top * 2, b.right * 2, b.bottom * 2 };
}

struct Drawn {
    platform::Surface surface;
    HDC dc = nullptr;

    explicit Drawn(const FrameLayout& layout)
        : surface(layout.width, layout.height, platform::PixelFormat::XRGB8888)
    {
        fillSurface(surface, 128, 128, 128);
        dc = platform::createSurfaceDC(surface);
    }
    ~Drawn() { platform::destroySurfaceDC(dc); }
};

}

TEST(FrameLayout, BordersAndStatusBarMarksAtTwiceTheSize)
{
    const FrameLayout one = letterBox();
    const FrameLayout two = scaledLayout(one, 2);
    ASSERT_EQ(two.width, 1280);
    ASSERT_EQ(two.height, 960);
    // The time 1000 of 3000 puts the mark at 640 / 3 and at 1280 / 3, cut to 213 and 426.
    StatusBar bar;
    bar.time = 1000;
    bar.duration = 3000;
    bar.volume = 128;
    auto isGrey = [](int r, int g, int b) { return r == 192 && g == 192 && b == 192; };
    auto isWhite = [](int r, int g, int b) { return r == 255 && g == 255 && b == 255; };
    auto isBlack = [](int r, int g, int b) { return r == 0 && g == 0 && b == 0; };
    PixelBox boxes[2][5];
    for (int i = 0; i < 2; ++i) {
        const FrameLayout& layout = i == 0 ? one : two;
        Drawn drawn(layout);
        fillBorders(drawn.dc, layout, FrameContent::Movie);
        drawSeekBar(drawn.dc, layout, bar);
        const int H = layout.height;
        boxes[i][0] = boxWhere(drawn.surface, isBlack, 0, 0, layout.width, H / 2);
        boxes[i][1] = boxWhere(drawn.surface, isGrey);
        boxes[i][2] = boxWhere(drawn.surface, isWhite);
        boxes[i][3] = boxWhere(drawn.surface, isBlack, 0, layout.video.dstY + layout.video.dstHeight, layout.width, H);
        // The volume mark alone, above the scale's row.
        boxes[i][4] = boxWhere(drawn.surface, isGrey, 0, 0, layout.width, H - layout.px(4));
    }
    EXPECT_EQ(boxes[0][0], (PixelBox { 0, 0, 640, 27 }));
    EXPECT_EQ(boxes[0][1], (PixelBox { 496, 472, 624, 480 }));
    EXPECT_EQ(boxes[0][2], (PixelBox { 211, 472, 213, 480 }));
    EXPECT_EQ(boxes[0][4], (PixelBox { 558, 472, 560, 476 }));
    for (int part = 0; part < 5; ++part)
        EXPECT_EQ(boxes[1][part], doubled(boxes[0][part])) << part << ": " << describe(boxes[1][part]);
    // A factor that is no size leaves the layout as it was.
    for (double bad : { 0.0, -2.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity() })
        EXPECT_EQ(scaledLayout(one, bad).width, 640) << bad;
}

// The overlay's lines, its key summary and its shadow step a scaled number of rows apart.
TEST(FrameLayout, OverlayRowsAtTwiceTheSize)
{
    HFONT font = koreanFont(24, FW_NORMAL);
    if (!font)
        GTEST_SKIP() << "no Korean fonts on this machine";
    FrameLayout layout = scaledLayout(letterBox(), 2);
    layout.fonts.overlay = font;
    OverlayText text;
    text.lines = { "제목:Night Train", "영상:/films/night.avi" };
    text.colour = RGB(255, 255, 255);
    Drawn drawn(layout);
    drawInfoOverlay(drawn.dc, layout, text, 1);
    drawInfoOverlay(drawn.dc, layout, text, 0);

    Drawn expected(layout);
    HFONT previous = SelectObject(expected.dc, font);
    SetBkMode(expected.dc, TRANSPARENT);
    for (int pass : { 1, 0 }) {
        SetTextColor(expected.dc, pass ? RGB(0, 0, 0) : RGB(255, 255, 255));
        const int o = pass * 2;
        for (size_t i = 0; i < text.lines.size(); ++i)
            drawText(expected.dc, o, o + 26 * static_cast<int>(i), text.lines[i].c_str());
        for (int i = 0; i < static_cast<int>(overlayKeyLines().size()); ++i)
            drawText(expected.dc, o, o + 220 + 26 * i, overlayKeyLines()[i].c_str());
    }
    SelectObject(expected.dc, previous);
    DeleteObject(font);
    EXPECT_EQ(drawn.surface.pixels, expected.surface.pixels);
}

// The caption keys' size and raise are measured against their defaults at the layout's scale, so a
// raised and enlarged picture caption keeps its place and size relative to the screen.
TEST(FrameLayout, PictureCaptionKeysAtTwiceTheSize)
{
    FrameLayout one = letterBox();
    one.fontsize = 30;
    one.fontposy = 130;
    platform::CaptionBitmap bitmap;
    bitmap.x = 260;
    bitmap.y = 400;
    bitmap.width = 200;
    bitmap.height = 40;
    platform::CaptionPicture picture;
    picture.canvasWidth = 720;
    picture.canvasHeight = 480;
    picture.bitmaps = { bitmap };
    const ScreenBox a = layoutPictureCaption(picture, pictureCaptionView(one, 720, 480, PictureCaptions::All))[0];
    const ScreenBox b
        = layoutPictureCaption(picture, pictureCaptionView(scaledLayout(one, 2), 720, 480, PictureCaptions::All))[0];
    // 200 × 40 of the canvas is 177.8 × 35.6 on the screen, a quarter larger by the size key.
    EXPECT_NEAR(a.width, 222, 1);
    EXPECT_NEAR(a.height, 44, 1);
    EXPECT_NEAR(b.x, 2 * a.x, 1);
    EXPECT_NEAR(b.y, 2 * a.y, 1);
    EXPECT_NEAR(b.width, 2 * a.width, 1);
    EXPECT_NEAR(b.height, 2 * a.height, 1);
    // At the desktop's own size the default size is the screen's (the first start's caption size): twice
    // the size there is the same picture caption as the size here.
    FrameLayout desktop = one;
    desktop.textScale = 2;
    desktop.fontsize = 2 * one.fontsize;
    const ScreenBox c = layoutPictureCaption(picture, pictureCaptionView(desktop, 720, 480, PictureCaptions::All))[0];
    EXPECT_NEAR(c.width, a.width, 1);
    EXPECT_NEAR(c.height, a.height, 1);
}

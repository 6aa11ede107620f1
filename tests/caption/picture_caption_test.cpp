// The picture caption track: where the caption keys put a caption, what damaged PGS and VobSub files
// still show, and which .sub files are pictures.
#include "caption/caption.h"
#include "caption/caption_formats.h"
#include "caption/picture_caption.h"
#include "support/log_capture.h"
#include "support/sup_writer.h"
#include "support/test_files.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace sublumen;
using testing_support::supBlock;
using testing_support::SupWriter;

namespace {

platform::CaptionBitmap bitmap(int x, int y, int width, int height, bool forced = false)
{
    platform::CaptionBitmap b;
    b.x = x;
    b.y = y;
    b.width = width;
    b.height = height;
    b.forced = forced;
    b.palette = { 0xFFFFFF00 };
    std::vector<uint8_t> indices(static_cast<size_t>(width) * height, 0);
    int beyond = 0;
    b.setIndices(indices.data(), width, beyond);
    return b;
}

bool sameBox(const ScreenBox& a, const ScreenBox& b)
{
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

struct LayoutCase {
    const char* name;
    double captionScale;
    int32_t raise;
    bool forcedOnly;
    std::vector<ScreenBox> expected; // for the two bitmaps below
};

// On a 640 × 480 screen with the canvas shown 1:1: a wide bitmap at the bottom, a small forced one above it.
const LayoutCase layoutCases[] = {
    { "AsAuthored", 1.0, 0, false, { { 220, 400, 200, 40 }, { 300, 380, 40, 10 } } },
    { "RaisedByFontposy", 1.0, 30, false, { { 220, 370, 200, 40 }, { 300, 350, 40, 10 } } },
    // Twice the size about the bottom centre (320, 440).
    { "ScaledAboutBottomCentre", 2.0, 0, false, { { 120, 360, 400, 80 }, { 280, 320, 80, 20 } } },
    // Lowered past the bottom: moved back inside as a whole, never cut.
    { "KeptOnScreen", 1.0, -100, false, { { 220, 440, 200, 40 }, { 300, 420, 40, 10 } } },
    // Four times is wider than the screen: made to fit it, from the same bottom centre.
    { "FittedToTheScreen", 4.0, 0, false, { { 0, 312, 640, 128 }, { 256, 248, 128, 32 } } },
    // Captions switched off: the forced one alone, where it was authored.
    { "ForcedOnly", 1.0, 0, true, { { 0, 0, 0, 0 }, { 300, 380, 40, 10 } } },
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class PictureCaptionLayout : public ::testing::TestWithParam<LayoutCase> { };

}

TEST_P(PictureCaptionLayout, PlacesTheBitmaps)
{
    const LayoutCase& c = GetParam();
    platform::CaptionPicture picture;
    picture.bitmaps = { bitmap(220, 400, 200, 40), bitmap(300, 380, 40, 10, true) };
    PictureCaptionView view;
    view.screenWidth = 640;
    view.screenHeight = 480;
    view.captionScale = c.captionScale;
    view.raise = c.raise;
    view.forcedOnly = c.forcedOnly;
    std::vector<ScreenBox> boxes = layoutPictureCaption(picture, view);
    ASSERT_EQ(boxes.size(), 2u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_TRUE(sameBox(boxes[i], c.expected[i]))
            << i << ": " << boxes[i].x << "," << boxes[i].y << " " << boxes[i].width << "x" << boxes[i].height;
}

INSTANTIATE_TEST_SUITE_P(CaptionKeys, PictureCaptionLayout, ::testing::ValuesIn(layoutCases),
    [](const auto& info) { return std::string(info.param.name); });

// A bitmap shrunk to less than a pixel at the right and bottom edges still shows as one pixel, on the screen.
TEST(PictureCaptionLayoutEdges, ABitmapShrunkBelowAPixelStaysOnTheScreen)
{
    platform::CaptionPicture picture;
    picture.bitmaps = { bitmap(1275, 955, 3, 2) };
    PictureCaptionView view;
    view.screenWidth = 64;
    view.screenHeight = 48;
    view.scaleX = 0.05;
    view.scaleY = 0.05;
    const ScreenBox box = layoutPictureCaption(picture, view).at(0);
    EXPECT_TRUE(sameBox(box, { 63, 47, 1, 1 })) << box.x << "," << box.y << " " << box.width << "x" << box.height;
}

namespace {

const std::vector<testing_support::SupColour> palette = { { 1, 235, 128, 128, 255 } };

// A good caption at 1 s cleared at 2 s, then what each case damages, then a good caption at 5 s. The
// log names the damaged caption in a line of our own (none: the damage leaves no caption to name).
struct Damage {
    const char* name;
    std::string (*bytes)();
    const char* named;
};

std::string good(SupWriter& sup)
{
    sup.show(1000, palette, { supBlock(10, 10, 40, 20, 1) }).clear(2000);
    return sup.bytes();
}

std::string withTail(SupWriter& sup)
{
    sup.show(5000, palette, { supBlock(10, 10, 40, 20, 1) }).clear(6000);
    return sup.bytes();
}

// An object segment with its own width, height and run-length data.
std::string objectSegment(int width, int height, const std::string& rle)
{
    std::string ods = { 0, 0, 0, static_cast<char>(0xC0) };
    const uint32_t length = static_cast<uint32_t>(rle.size()) + 4;
    ods += { static_cast<char>(length >> 16), static_cast<char>(length >> 8), static_cast<char>(length) };
    ods += { static_cast<char>(width >> 8), static_cast<char>(width), static_cast<char>(height >> 8),
        static_cast<char>(height) };
    return ods + rle;
}

const Damage damages[] = {
    { "Truncated",
        [] {
            SupWriter sup(320, 240);
            std::string head = good(sup);
            SupWriter more(320, 240);
            more.show(3000, palette, { supBlock(0, 0, 300, 200, 1) });
            return head + more.bytes().substr(0, more.bytes().size() / 2);
        },
        nullptr },
    { "HugeObject",
        [] {
            SupWriter sup(320, 240);
            good(sup);
            sup.raw(3000, 0x16,
                std::string("\x01\x40\x00\xF0\x10\x00\x05\x80\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00", 19));
            sup.raw(3000, 0x15, objectSegment(65535, 65535, std::string("\x00\x00", 2)));
            sup.raw(3000, 0x80, "");
            return withTail(sup);
        },
        "caption at 00:03.00 dropped: Bitmap dimensions (65535x65535) invalid" },
    { "SixtyObjectsTwoShown",
        [] {
            SupWriter sup(320, 240);
            good(sup);
            std::vector<testing_support::SupObject> objects;
            for (int i = 0; i < 60; ++i)
                objects.push_back(supBlock(4 * (i % 10), 4 * (i / 10), 3, 3, 1));
            sup.show(3000, palette, objects);
            return withTail(sup);
        },
        "caption at 00:03.00 shown in part: " },
    { "ColourBeyondThePalette",
        [] {
            SupWriter sup(320, 240);
            good(sup);
            sup.show(3000, palette, { supBlock(10, 10, 40, 20, 200) });
            return withTail(sup);
        },
        nullptr },
    { "RunsPastTheObject",
        [] {
            SupWriter sup(320, 240);
            good(sup);
            sup.raw(3000, 0x16,
                std::string("\x01\x40\x00\xF0\x10\x00\x06\x80\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00", 19));
            // Four rows of 100 pixels for an object of 4 × 2.
            std::string rle;
            for (int row = 0; row < 4; ++row)
                rle += std::string("\x00\xC0\x64\x01\x00\x00", 6);
            sup.raw(3000, 0x14, std::string("\x00\x00\x01\xEB\x80\x80\xFF", 7));
            sup.raw(3000, 0x15, objectSegment(4, 2, rle));
            sup.raw(3000, 0x80, "");
            return withTail(sup);
        },
        "caption at 00:03.00 " },
    { "SegmentsOutOfOrder",
        [] {
            SupWriter sup(320, 240);
            good(sup);
            sup.raw(3000, 0x80, "");
            sup.raw(
                3000, 0x15, objectSegment(4, 2, std::string("\x01\x01\x01\x01\x00\x00\x01\x01\x01\x01\x00\x00", 12)));
            sup.raw(3000, 0x14, std::string("\x00\x00\x01\xEB\x80\x80\xFF", 7));
            sup.raw(3000, 0x16,
                std::string("\x01\x40\x00\xF0\x10\x00\x07\x80\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00", 19));
            return withTail(sup);
        },
        nullptr },
    { "MissingEnd",
        [] {
            SupWriter sup(320, 240);
            good(sup);
            SupWriter noEnd(320, 240);
            noEnd.show(3000, palette, { supBlock(0, 0, 30, 30, 1) });
            std::string bytes = noEnd.bytes();
            // The END segment is the last 13 bytes.
            return sup.bytes() + bytes.substr(0, bytes.size() - 13) + [] {
                SupWriter tail(320, 240);
                return withTail(tail);
            }();
        },
        nullptr },
};

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

class DamagedSup : public ::testing::TestWithParam<Damage> {
protected:
    testing_support::ScratchDir dir;
    testing_support::LogCapture log { dir };
};

}

TEST_P(DamagedSup, ShowsWhatItCan)
{
    std::string path = dir.write("movie.sup", GetParam().bytes());
    PictureCaption track(path.c_str());
    ASSERT_EQ(track.loadResult, 0) << log.text();
    const platform::CaptionPicture* first = track.shownAt(1500);
    ASSERT_NE(first, nullptr) << log.text();
    ASSERT_EQ(first->bitmaps.size(), 1u);
    EXPECT_EQ(first->bitmaps[0].width, 40);
    EXPECT_EQ(first->bitmaps[0].argb().at(0), 0xFFFFFFFFu);
    EXPECT_EQ(track.shownAt(2500), nullptr);
    // Whatever the damage became, nothing of it is larger than the canvas it claims.
    for (const PictureCaption::Entry& e : track.entries())
        for (const platform::CaptionBitmap& b : e.picture->bitmaps)
            EXPECT_EQ(b.argb().size(), static_cast<size_t>(b.width) * b.height);
    if (std::string(GetParam().name) == "ColourBeyondThePalette") {
        const platform::CaptionPicture* blank = track.shownAt(3500);
        ASSERT_NE(blank, nullptr);
        EXPECT_EQ(blank->bitmaps.at(0).argb().at(0) >> 24, 0u) << "an undefined colour is transparent";
    }
    if (std::string(GetParam().name) != "Truncated") {
        EXPECT_NE(track.shownAt(5500), nullptr) << "the caption after the damage is lost";
    }
    if (const char* named = GetParam().named) {
        EXPECT_NE(log.text().find(std::string("PictureCaption:: ") + named), std::string::npos) << log.text();
        ASSERT_FALSE(track.drops.empty());
        EXPECT_EQ(track.drops.front().at, std::chrono::seconds(3));
    }
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, DamagedSup, ::testing::ValuesIn(damages), [](const auto& info) { return std::string(info.param.name); });

TEST(PictureCaptionFiles, ASubIsPicturesOnlyBesideAnIdxOrAsAProgramStream)
{
    testing_support::ScratchDir dir;
    testing_support::LogCapture log { dir };
    const std::string subViewer = "{10}{20}첫 줄\n{30}{40}둘째 줄\n";
    struct Row {
        const char* folder;
        std::string bytes;
        bool idxBeside;
        CaptionFormat expected;
    } rows[] = {
        { "text", subViewer, false, CaptionFormat::Sub },
        { "pair", subViewer, true, CaptionFormat::VobSub },
        { "pack", std::string("\x00\x00\x01\xBA\x44\x00\x04\x00\x04\x01", 10), false, CaptionFormat::VobSub },
    };
    for (const Row& row : rows) {
        std::string sub = dir.write(std::string(row.folder) + "/movie.sub", row.bytes);
        if (row.idxBeside)
            dir.write(std::string(row.folder) + "/movie.idx", "# VobSub index file, v7\n");
        EXPECT_EQ(captionFormatOfFile(sub.c_str()).format, row.expected) << row.folder;
        // A picture .sub is never read as text.
        Caption track(sub.c_str());
        bool text = row.expected == CaptionFormat::Sub;
        EXPECT_EQ(track.loadResult == 0, text) << row.folder;
        EXPECT_EQ(track.entries != nullptr, text) << row.folder;
    }
    // An index naming a .sub that is not there: nothing to show, and the log says why.
    std::string idx = dir.write("lonely/movie.idx", "# VobSub index file, v7\nsize: 720x480\n");
    PictureCaption lonely(idx.c_str());
    EXPECT_EQ(lonely.loadResult, -1);
    EXPECT_TRUE(lonely.entries().empty());
    EXPECT_NE(log.text().find("PictureCaption:: load Fail : no .sub beside the .idx"), std::string::npos);

    // An index going back and forth between two streams makes the media library start a stream at each
    // switch, past the 32 it keeps: refused before it is read, and the log says why.
    std::string swinging = "# VobSub index file, v7\nsize: 720x480\n";
    for (int i = 0; i < 33; ++i)
        swinging += "id: ko, index: " + std::to_string(i % 2) + "\ntimestamp: 00:00:0" + std::to_string(i % 10)
            + ":000, filepos: 000000000\n";
    dir.write("swinging/movie.sub", std::string("\x00\x00\x01\xBA", 4));
    std::string many = dir.write("swinging/movie.idx", swinging);
    PictureCaption refused(many.c_str());
    EXPECT_EQ(refused.loadResult, -1);
    EXPECT_NE(log.text().find("PictureCaption:: load Fail : the .idx switches among more than 32 streams"),
        std::string::npos)
        << log.text();
    // Up to 32 it is the media library's to read.
    EXPECT_FALSE(platform::overrunsVobSubReader(dir.write("fitting/movie.idx", swinging.substr(0, swinging.rfind("id:"))), true));
}

namespace {

platform::CaptionPictureHandle pictureAt(uint32_t startMs, uint32_t endMs, int width)
{
    auto p = std::make_shared<platform::CaptionPicture>();
    p->start = std::chrono::milliseconds(startMs);
    p->end = endMs ? platform::CaptionPicture::Time(std::chrono::milliseconds(endMs)) : platform::CaptionPicture::unbounded;
    if (width)
        p->bitmaps.push_back(bitmap(10, 400, width, 20));
    return p;
}

// The track's entries as "start:text" and whether a screen shows the bitmap at time.
std::vector<std::string> entriesOf(const Caption& track)
{
    std::vector<std::string> out;
    for (const ListNode* node = track.entries; node; node = node->next) {
        const auto* e = static_cast<const CaptionEntry*>(node->data);
        out.push_back(std::to_string(e->start) + ":" + e->text);
    }
    return out;
}

}

// Picture captions as a text track: each caption's text from its start, nothing until it is read (so
// a track not read yet is one blank entry) and where the pictures clear; a caption read again after a
// seek keeps its text; one not read yet is what is drawn as a picture.
TEST(PictureTextTrack, EveryCaptionIsAnEntryWithTheTextReadFromIt)
{
    Caption track(nullptr);
    auto pictures = std::make_unique<PictureCaption>();
    // 1 s to 2 s; 3 s until the next; a clearing picture at 5 s.
    pictures->addPictures({ pictureAt(1000, 2000, 100), pictureAt(3000, 0, 120), pictureAt(5000, 0, 0) });
    track.beginPictureTrack(std::move(pictures));
    EXPECT_EQ(entriesOf(track), (std::vector<std::string> { "1000:", "4294967295:" }));
    EXPECT_EQ(track.pictures->takeUnread(), (std::vector<uint32_t> { 1000, 3000 }));

    const platform::CaptionPictureHandle second = track.pictures->entryAt(3000)->picture;
    EXPECT_TRUE(track.setPictureText(3000, *second, "둘째 줄"));
    EXPECT_TRUE(track.setPictureText(1000, *track.pictures->entryAt(1000)->picture, "First"));
    EXPECT_EQ(entriesOf(track),
        (std::vector<std::string> { "1000:First", "2000:", "3000:둘째 줄", "5000:", "4294967295:" }));
    uint32_t start = 0;
    EXPECT_TRUE(track.captionStart(1500, CaptionStep::Next, start));
    EXPECT_EQ(start, 3000u);

    // A text for a caption no longer held is dropped; the same bitmaps read again keep their text, other
    // bitmaps at that start are read anew.
    EXPECT_FALSE(track.setPictureText(4000, *second, "x"));
    track.addPictures({ pictureAt(3000, 0, 120) });
    EXPECT_EQ(track.pictures->entryAt(3000)->text.value_or("?"), "둘째 줄");
    EXPECT_TRUE(track.pictures->takeUnread().empty());
    track.addPictures({ pictureAt(1000, 2500, 90), pictureAt(4000, 0, 50) });
    EXPECT_EQ(entriesOf(track), (std::vector<std::string> { "1000:", "3000:둘째 줄", "4000:", "4294967295:" }));
    EXPECT_EQ(track.pictures->takeUnread(), (std::vector<uint32_t> { 1000, 4000 }));

    // Drawn in our style, only what is not read yet shows as a picture.
    platform::Surface screen(640, 480, platform::PixelFormat::XRGB8888);
    PictureCaptionView view;
    view.screenWidth = 640;
    view.screenHeight = 480;
    view.unreadOnly = true;
    EXPECT_TRUE(track.pictures->draw(1200, screen, view));
    EXPECT_FALSE(track.pictures->draw(3200, screen, view));
    view.unreadOnly = false;
    EXPECT_TRUE(track.pictures->draw(3200, screen, view));
}

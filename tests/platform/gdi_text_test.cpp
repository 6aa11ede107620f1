#include "platform/gdi/font.h"
#include "platform/gdi/gdi.h"

#include "support/drawing.h"

#include <gtest/gtest.h>
#include <cstring>
#include <string>

using testing_support::backgroundGrey;
using testing_support::boxWhere;
using testing_support::brighter;
using testing_support::describe;
using testing_support::PixelBox;

namespace {

struct FaceMapping {
    const char* face;
    const char* family;
};

void PrintTo(const FaceMapping& m, std::ostream* os) { *os << m.face; }

class FontMapping : public ::testing::TestWithParam<FaceMapping> { };

}

TEST_P(FontMapping, KoreanFaceNamesReachKoreanFonts)
{
    HFONT font = testing_support::koreanFont(20, FW_NORMAL, GetParam().face);
    ASSERT_NE(font, nullptr);
    if (font->familyName() != GetParam().family) {
        std::string got = font->familyName();
        DeleteObject(font);
        GTEST_SKIP() << GetParam().family << " is not installed (got " << got << ")";
    }
    // The face must really have Hangul, not a box from some other font.
    const platform::Glyph& ga = font->glyph(U'가');
    const platform::Glyph& missing = font->glyph(0x10FFFD);
    EXPECT_GT(ga.width, 0);
    EXPECT_NE(ga.coverage, missing.coverage);
    DeleteObject(font);
}

INSTANTIATE_TEST_SUITE_P(Faces, FontMapping,
    ::testing::Values(FaceMapping { "굴림체", "NanumGothicCoding" }, FaceMapping { "돋움체", "UnDotum" },
        FaceMapping { "바탕체", "UnBatang" }, FaceMapping { "궁서체", "UnGungseo" },
        FaceMapping { "FixedSys", "NanumGothicCoding" }));

// A 320x120 grey surface with the 24-pixel caption face selected.
class TextOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        font = testing_support::koreanFont(24);
        if (!font || font->familyName() != "NanumGothicCoding")
            GTEST_SKIP() << "no Korean font for 굴림체 on this machine";
        clear();
        dc = platform::createSurfaceDC(surface);
        SelectObject(dc, font);
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
    }
    void TearDown() override
    {
        platform::destroySurfaceDC(dc);
        if (font)
            DeleteObject(font);
    }
    void clear() { testing_support::fillSurface(surface, backgroundGrey, backgroundGrey, backgroundGrey); }
    PixelBox inkOf(const std::string& text, int x = 0, int y = 0)
    {
        clear();
        TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
        return boxWhere(surface, brighter);
    }
    // Lines and the measured rectangle of text in a rectangle width wide.
    int measuredLines(const std::string& text, UINT format, int width, RECT* measured = nullptr)
    {
        RECT r { 10, 20, 10 + width, 21 };
        int height = DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_CALCRECT);
        EXPECT_EQ(r.bottom - r.top, height);
        if (measured)
            *measured = r;
        return height / 24;
    }

    platform::Surface surface { 320, 120, platform::PixelFormat::XRGB8888 };
    HFONT font = nullptr;
    HDC dc = nullptr;
};

TEST_F(TextOutput, CellHeightIsTheFontHeightAndInkStaysInTheCell)
{
    EXPECT_EQ(font->cellHeight(), 24);
    const PixelBox ink = inkOf("가Hg");
    ASSERT_FALSE(ink.empty());
    EXPECT_GE(ink.top, 0);
    EXPECT_LE(ink.bottom, 24);
    EXPECT_GT(ink.height(), 16) << "Hangul and a descender fill most of the cell";
}

TEST_F(TextOutput, TextOutPutsTheCellTopLeftAtThePoint)
{
    const PixelBox atOrigin = inkOf("가나");
    EXPECT_EQ(inkOf("가나", 37, 51), atOrigin.shifted(37, 51)) << describe(inkOf("가나", 37, 51));
}

TEST_F(TextOutput, TextOutLengthCountsBytes)
{
    const PixelBox one = inkOf("가");
    clear();
    TextOutA(dc, 0, 0, "가나다", 3);
    EXPECT_EQ(boxWhere(surface, brighter), one);
    // A length that cuts a character is still drawn without harm.
    clear();
    EXPECT_TRUE(TextOutA(dc, 0, 0, "가나다", 4));
}

TEST_F(TextOutput, OpaqueModeFillsTheCellWithTheBackgroundColour)
{
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 255));
    TextOutA(dc, 5, 6, "가", 3);
    const PixelBox blue = boxWhere(surface, [](int r, int g, int b) { return r == 0 && g == 0 && b == 255; });
    EXPECT_EQ(blue.top, 6);
    EXPECT_EQ(blue.bottom, 30);
    EXPECT_EQ(blue.left, 5);
}

TEST_F(TextOutput, BoldIsHeavierAndFacesWithoutBoldAreEmboldened)
{
    auto inkPixels = [&](HFONT f) {
        SelectObject(dc, f);
        clear();
        TextOutA(dc, 0, 0, "가나다", 9);
        int count = 0;
        for (int y = 0; y < surface.height; ++y)
            for (int x = 0; x < surface.width; ++x) {
                int r, g, b;
                platform::readRgb(surface, x, y, r, g, b);
                count += r > 200;
            }
        return count;
    };
    for (const char* face : { "굴림체", "궁서체" }) {
        HFONT regular = testing_support::koreanFont(24, FW_NORMAL, face);
        HFONT bold = testing_support::koreanFont(24, FW_EXTRABOLD, face);
        ASSERT_TRUE(regular && bold);
        EXPECT_GT(inkPixels(bold), inkPixels(regular) * 11 / 10) << face;
        SelectObject(dc, font);
        DeleteObject(regular);
        DeleteObject(bold);
    }
}

TEST_F(TextOutput, CharactersTheFaceLacksComeFromAnotherFont)
{
    // NanumGothicCoding has no snowman; some other installed font does.
    const platform::Glyph& snowman = font->glyph(0x2603);
    const platform::Glyph& missing = font->glyph(0x10FFFD);
    if (snowman.coverage == missing.coverage)
        GTEST_SKIP() << "no installed font has U+2603";
    EXPECT_GT(snowman.width, 0);
}

struct Breaking {
    const char* name;
    const char* text;
    UINT format;
    int width;
    int lines;
};

void PrintTo(const Breaking& b, std::ostream* os) { *os << b.name; }

class LineBreaking : public TextOutput, public ::testing::WithParamInterface<Breaking> { };

TEST_P(LineBreaking, CountsLines)
{
    const Breaking& b = GetParam();
    EXPECT_EQ(measuredLines(b.text, b.format, b.width), b.lines);
}

constexpr UINT wrap = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;

INSTANTIATE_TEST_SUITE_P(Texts, LineBreaking,
    ::testing::Values(Breaking { "LineFeed", "a\nb", wrap, 300, 2 }, Breaking { "CarriageReturn", "a\rb", wrap, 300, 2 },
        Breaking { "CrLfBreaksOnce", "a\r\nb", wrap, 300, 2 }, Breaking { "LfCrBreaksTwice", "a\n\rb", wrap, 300, 3 },
        Breaking { "EmptyLineBetween", "a\n\nb", wrap, 300, 3 }, Breaking { "BreakAtTheEndAddsNoLine", "a\r\n", wrap, 300, 1 },
        Breaking { "Empty", "", wrap, 300, 0 }, Breaking { "SingleLineIgnoresBreaks", "a\nb\rc", DT_SINGLELINE, 300, 1 },
        Breaking { "NoWordBreakKeepsLongLines", "aaaa bbbb cccc dddd eeee", DT_CENTER, 20, 1 },
        Breaking { "WrapsAtBlanks", "aaaa bbbb cccc", wrap, 70, 3 },
        Breaking { "BlanksRunningOverTheEdgeHang", "aaaa      bbbb", wrap, 60, 2 },
        Breaking { "HangulWrapsAtBlanks", "가나다 라마바 사아자", wrap, 80, 3 },
        Breaking { "ZeroWidthStillProgresses", "abc", wrap, 0, 3 }));

TEST_F(TextOutput, AWordWiderThanTheRectangleIsBrokenBetweenCharacters)
{
    RECT measured;
    // 12 characters of 12 pixels (a half-width cell of the coding face) in 50 pixels: four per line.
    EXPECT_EQ(measuredLines("abcdefghijkl", wrap, 50, &measured), 3);
    EXPECT_EQ(measured.right, 60) << "no line is wider than the rectangle";
    // A word that follows a wrapped word also breaks rather than being clipped.
    EXPECT_EQ(measuredLines("ab abcdefghijkl", wrap, 50), 4);
}

TEST_F(TextOutput, MeasuringWidensTheRectangleOnlyForAWiderCharacter)
{
    RECT r;
    measuredLines("가", wrap, 5, &r);
    EXPECT_EQ(r.right - r.left, 24);
    measuredLines("a b", wrap, 200, &r);
    EXPECT_EQ(r.right - r.left, 200);
    measuredLines("abc", DT_SINGLELINE, 200, &r);
    EXPECT_EQ(r.right - r.left, 36);
}

TEST_F(TextOutput, DrawTextIsClippedToItsRectangle)
{
    RECT r { 40, 30, 90, 50 };
    int height = DrawTextA(dc, "가나다라마바\n사아자", -1, &r, wrap);
    EXPECT_EQ(height, 24 * 5) << "two Hangul per line: three lines, then two";
    const PixelBox ink = boxWhere(surface, brighter);
    ASSERT_FALSE(ink.empty());
    EXPECT_GE(ink.left, 40);
    EXPECT_GE(ink.top, 30);
    EXPECT_LE(ink.right, 90);
    EXPECT_LE(ink.bottom, 50);
}

TEST_F(TextOutput, AccentsTallerThanTheCellAreNotCutOffByTheRectangle)
{
    // The coding face has no accented Latin letters; the fallback face's capitals stand above its cell.
    const PixelBox whole = inkOf("Über Éric", 10, 40);
    ASSERT_LT(whole.top, 40) << "the accents reach above the cell: " << describe(whole);

    clear();
    RECT r { 10, 20, 310, 120 };
    const int height = DrawTextA(dc, "Über Éric", -1, &r, DT_NOPREFIX);
    const PixelBox drawn = boxWhere(surface, brighter);
    EXPECT_EQ(drawn, whole.shifted(0, 20 - whole.top)) << "dots and acute drawn whole at the top: " << describe(drawn);
    EXPECT_EQ(height, 24 + 40 - whole.top) << "the line is as tall as its glyphs";
    RECT measured { 10, 20, 310, 21 };
    EXPECT_EQ(DrawTextA(dc, "Über Éric", -1, &measured, DT_NOPREFIX | DT_CALCRECT), height);
}

TEST_F(TextOutput, SingleLineIsCentredBothWays)
{
    const PixelBox alone = inkOf("가나");
    clear();
    RECT r { 0, 0, 320, 120 };
    DrawTextA(dc, "가나", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_WORDBREAK | DT_NOPREFIX);
    EXPECT_EQ(boxWhere(surface, brighter), alone.shifted((320 - 48) / 2, (120 - 24) / 2));
}

TEST_F(TextOutput, Rgb565SurfacesGetTheSameText)
{
    platform::Surface small(320, 120, platform::PixelFormat::RGB565);
    testing_support::fillSurface(small, backgroundGrey, backgroundGrey, backgroundGrey);
    HDC sdc = platform::createSurfaceDC(small);
    SelectObject(sdc, font);
    SetTextColor(sdc, RGB(255, 255, 255));
    SetBkMode(sdc, TRANSPARENT);
    TextOutA(sdc, 3, 4, "가", 3);
    const PixelBox ink = boxWhere(small, brighter);
    EXPECT_EQ(ink, inkOf("가", 3, 4));
    // Fully covered pixels are exactly the text colour.
    EXPECT_FALSE(boxWhere(small, [](int r, int g, int b) { return r == 255 && g == 255 && b == 255; }).empty());
    SelectObject(sdc, nullptr);
    platform::destroySurfaceDC(sdc);
}

TEST_F(TextOutput, NoFontSelectedDrawsInTheDefaultFont)
{
    SelectObject(dc, nullptr);
    ASSERT_NE(platform::defaultFont(), nullptr);
    EXPECT_EQ(platform::defaultFont()->cellHeight(), 16);
    RECT r { 0, 0, 320, 120 };
    EXPECT_EQ(DrawTextA(dc, "< THE END >", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE), 16);
    EXPECT_FALSE(boxWhere(surface, brighter).empty());
}

TEST_F(TextOutput, DeletedFontsAreSafeToHoldAndCannotBeSelectedAgain)
{
    HFONT other = testing_support::koreanFont(12, FW_NORMAL);
    ASSERT_NE(other, nullptr);
    HFONT before = SelectObject(dc, other);
    EXPECT_EQ(before, font);
    EXPECT_TRUE(DeleteObject(other));
    // Still selected: it keeps drawing until the context lets it go.
    EXPECT_TRUE(TextOutA(dc, 0, 0, "가", 3));
    EXPECT_EQ(SelectObject(dc, font), other);
    EXPECT_EQ(SelectObject(dc, other), nullptr) << "a deleted handle is refused";
    EXPECT_EQ(SelectObject(dc, font), font) << "and the selection stays";
    EXPECT_FALSE(DeleteObject(other));
}

TEST(GdiWithoutContext, NullContextsFailHarmlessly)
{
    RECT r { 0, 0, 10, 10 };
    EXPECT_FALSE(TextOutA(nullptr, 0, 0, "a", 1));
    EXPECT_EQ(DrawTextA(nullptr, "a", 1, &r, 0), 0);
    EXPECT_EQ(FillRect(nullptr, &r, GetStockObject(BLACK_BRUSH)), 0);
    EXPECT_EQ(SelectObject(nullptr, nullptr), nullptr);
    EXPECT_EQ(SetBkMode(nullptr, TRANSPARENT), 0);
    EXPECT_FALSE(StretchBlt(nullptr, 0, 0, 1, 1, nullptr, 0, 0, 1, 1, SRCCOPY));
    platform::destroySurfaceDC(nullptr);
}

TEST(GdiWithoutContext, AbsurdCoordinatesDrawNothing)
{
    platform::Surface s(16, 16, platform::PixelFormat::XRGB8888);
    HDC dc = platform::createSurfaceDC(s);
    RECT r { INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX };
    DrawTextA(dc, "abc", 3, &r, DT_CENTER | DT_WORDBREAK);
    TextOutA(dc, INT32_MAX, INT32_MIN, "abc", 3);
    FillRect(dc, &r, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(platform::readPixel(s, 15, 15), 0xFFFFFFu & platform::packPixel(s.format, 255, 255, 255));
    platform::destroySurfaceDC(dc);
}

TEST(Fonts, UnusableHeightsGiveNoFont)
{
    EXPECT_EQ(testing_support::koreanFont(100000), nullptr);
    EXPECT_EQ(testing_support::koreanFont(-100000), nullptr);
    // Height 0 asks for the default size; a negative height is the em, so the cell comes out larger.
    HFONT byDefault = testing_support::koreanFont(0);
    HFONT byEm = testing_support::koreanFont(-20, FW_NORMAL, "돋움체");
    ASSERT_TRUE(byDefault && byEm);
    EXPECT_EQ(byDefault->cellHeight(), 16);
    if (byEm->familyName() == "UnDotum") {
        EXPECT_GT(byEm->cellHeight(), 20);
    }
    DeleteObject(byDefault);
    DeleteObject(byEm);
}

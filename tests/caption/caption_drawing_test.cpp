#include "app/settings.h"
#include "caption/caption.h"
#include "platform/gdi/gdi.h"

#include "support/caption_forms.h"
#include "support/drawing.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace sublumen;
using testing_support::backgroundGrey;
using testing_support::boxWhere;
using testing_support::brighter;
using testing_support::darker;
using testing_support::describe;
using testing_support::PixelBox;

namespace {

constexpr int screenX = 640;
constexpr int screenY = 480;
constexpr int cell = 24;  // the caption font's height, which is its line pitch
const char* const lineText = "가나다";

// A 640x480 screen in mid grey with the caption font selected, as frame composition hands it over.
class CaptionDrawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        font = testing_support::koreanFont(cell);
        if (!font)
            GTEST_SKIP() << "no font for 굴림체 on this machine";
        testing_support::fillSurface(screen, backgroundGrey, backgroundGrey, backgroundGrey);
        dc = platform::createSurfaceDC(screen);
        previous = SelectObject(dc, font);
    }
    void TearDown() override
    {
        if (dc) {
            SelectObject(dc, previous);
            platform::destroySurfaceDC(dc);
        }
        if (font)
            DeleteObject(font);
    }

    void draw(const std::string& text, int style, int fontposy = 100)
    {
        Caption track(nullptr);
        track.addEntry(1000, text.c_str());
        track.addEntry(endMarker, "");
        track.draw(1500, dc, 0, screenY - fontposy, screenX, fontposy, style);
    }

    // Where the ink of one line of text lies inside its cell, from the text drawn alone at (0, 0).
    PixelBox inkInCell(const std::string& text, COLORREF colour = RGB(255, 255, 255))
    {
        platform::Surface scratch(screenX, cell * 2, screen.format);
        testing_support::fillSurface(scratch, backgroundGrey, backgroundGrey, backgroundGrey);
        HDC sdc = platform::createSurfaceDC(scratch);
        SelectObject(sdc, font);
        SetBkMode(sdc, TRANSPARENT);
        SetTextColor(sdc, colour);
        TextOutA(sdc, 0, 0, text.c_str(), static_cast<int>(text.size()));
        PixelBox box = colour == RGB(0, 0, 0) ? boxWhere(scratch, darker) : boxWhere(scratch, brighter);
        platform::destroySurfaceDC(sdc);
        return box;
    }

    int lineWidth(const std::string& text)
    {
        RECT r { 0, 0, screenX, screenY };
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
        return r.right - r.left;
    }

    std::vector<uint8_t> pixelsAfter(const std::string& text, int style)
    {
        testing_support::fillSurface(screen, backgroundGrey, backgroundGrey, backgroundGrey);
        draw(text, style);
        return screen.pixels;
    }

    platform::Surface screen { screenX, screenY, platform::PixelFormat::XRGB8888 };
    HFONT font = nullptr;
    HFONT previous = nullptr;
    HDC dc = nullptr;
};

std::string repeatedLines(int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += (i ? "\n" : "") + std::string(lineText);
    return text;
}

struct Placement {
    const char* name;
    int style;
    int fontposy;
    int lines;
    int blockTop;  // top of the first line's cell
};

void PrintTo(const Placement& p, std::ostream* os) { *os << p.name; }

class CaptionPlacement : public CaptionDrawing, public ::testing::WithParamInterface<Placement> { };

}

TEST_P(CaptionPlacement, PutsTheTextBlockWhereTheStyleSays)
{
    const Placement& p = GetParam();
    draw(repeatedLines(p.lines), p.style, p.fontposy);

    const PixelBox ink = inkInCell(lineText);
    const int left = 2 + (screenX - 4 - lineWidth(lineText)) / 2;
    const PixelBox expected { left + ink.left, p.blockTop + ink.top, left + ink.right,
        p.blockTop + (p.lines - 1) * cell + ink.bottom };
    EXPECT_EQ(boxWhere(screen, brighter), expected)
        << describe(boxWhere(screen, brighter)) << " instead of " << describe(expected);
}

INSTANTIATE_TEST_SUITE_P(Styles, CaptionPlacement,
    ::testing::Values(
        // The default band of 640x480 is the rectangle (2, 382, 638, 478).
        Placement { "FixedAtBandTop", 0, 100, 1, 382 },
        Placement { "FixedRisesWithALargerBand", 0, 200, 2, 282 },
        Placement { "AutoOneLineEndsAtBandBottom", styleAutoPlace, 100, 1, 478 - cell },
        Placement { "AutoTwoLinesEndAtBandBottom", styleAutoPlace, 100, 2, 478 - 2 * cell },
        Placement { "AutoIgnoresTheBandHeight", styleAutoPlace, 200, 2, 478 - 2 * cell },
        Placement { "AutoTallerThanBandStartsAboveIt", styleAutoPlace, 60, 4, 478 - 4 * cell },
        Placement { "SemiAutoStartsAtBandTop", styleSemiAutoPlace, 100, 1, 382 },
        Placement { "SemiAutoRisesWithALargerBand", styleSemiAutoPlace, 200, 2, 282 },
        Placement { "SemiAutoTooTallIsPushedUp", styleSemiAutoPlace, 100, 5, 478 - 5 * cell },
        Placement { "BothPlacementsBottomAlign", styleAutoPlace | styleSemiAutoPlace, 100, 1, 478 - cell },
        Placement { "OtherBitsChangeNothing", 16 | 32 | 64 | 256, 100, 1, 382 }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptionDrawing, FixedPlacementClipsLinesBelowTheBand)
{
    // A band of 90 gives the rectangle 392..478: three whole lines, and a fourth from 464 cut at 478.
    draw(repeatedLines(5), 0, 90);
    const PixelBox ink = boxWhere(screen, [](int r, int g, int b) { return r != backgroundGrey || g != r || b != r; });
    EXPECT_FALSE(ink.empty());
    EXPECT_EQ(ink.top, 392 + inkInCell(lineText).top);
    EXPECT_EQ(ink.bottom, 478) << describe(ink);
    EXPECT_TRUE(boxWhere(screen, darker).empty()) << "style 0 draws no effects";
}

struct Effect {
    const char* name;
    int style;
    // Expected growth of the effect colour's box beyond the text's own ink on each side; -1: covered
    // partly by the text, not checked.
    int left, top, right, bottom;
};

void PrintTo(const Effect& e, std::ostream* os) { *os << e.name; }

class CaptionEffects : public CaptionDrawing, public ::testing::WithParamInterface<Effect> { };

TEST_P(CaptionEffects, EffectCopiesSurroundTheText)
{
    const Effect& e = GetParam();
    const bool reverse = e.style & styleReverse;
    // The text alone in the effect colour gives the reference ink.
    draw(lineText, styleReverse ^ (reverse ? styleReverse : 0));
    const PixelBox text = reverse ? boxWhere(screen, brighter) : boxWhere(screen, darker);
    ASSERT_FALSE(text.empty());

    testing_support::fillSurface(screen, backgroundGrey, backgroundGrey, backgroundGrey);
    draw(lineText, e.style);
    const PixelBox effect = reverse ? boxWhere(screen, brighter) : boxWhere(screen, darker);
    if (e.left >= 0) {
        EXPECT_EQ(effect.left, text.left - e.left);
    }
    if (e.top >= 0) {
        EXPECT_EQ(effect.top, text.top - e.top);
    }
    EXPECT_EQ(effect.right, text.right + e.right);
    EXPECT_EQ(effect.bottom, text.bottom + e.bottom);
    // The text is drawn last, over its effects, in the other colour.
    const PixelBox front = reverse ? boxWhere(screen, darker) : boxWhere(screen, brighter);
    EXPECT_FALSE(front.empty());
}

INSTANTIATE_TEST_SUITE_P(Styles, CaptionEffects,
    ::testing::Values(Effect { "ShadowTwoRightTwoDown", styleShadow, -1, -1, 2, 2 },
        Effect { "ReverseGivesAWhiteShadowUnderBlackText", styleReverse | styleShadow, -1, -1, 2, 2 },
        Effect { "ThinOutlineOnePixel", styleOutline, 1, 1, 1, 1 },
        Effect { "ThickOutlineTwoPixels", styleThickOutline, 2, 2, 2, 2 },
        Effect { "BothOutlinesAndShadow", styleOutline | styleThickOutline | styleShadow, 2, 2, 2, 2 },
        Effect { "ReverseOutline", styleReverse | styleOutline, 1, 1, 1, 1 }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptionDrawing, ReverseDrawsBlackTextWhereNormalDrawsWhite)
{
    draw(lineText, 0);
    const PixelBox white = boxWhere(screen, brighter);
    testing_support::fillSurface(screen, backgroundGrey, backgroundGrey, backgroundGrey);
    draw(lineText, styleReverse);
    EXPECT_TRUE(boxWhere(screen, brighter).empty());
    const PixelBox black = boxWhere(screen, darker);
    EXPECT_FALSE(black.empty());
    // Both colours blend the same coverage, but white and black sit at different distances from the grey.
    EXPECT_NEAR(black.left, white.left, 1);
    EXPECT_NEAR(black.right, white.right, 1);
}

TEST_F(CaptionDrawing, EachLineOfALineFeedIsCentredOnItsOwn)
{
    draw("가\n가나다라마바사", 0);
    const PixelBox first = boxWhere(screen, brighter, 0, 382, screenX, 382 + cell);
    const PixelBox second = boxWhere(screen, brighter, 0, 382 + cell, screenX, 382 + 2 * cell);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_GT(second.width(), 4 * first.width());
    EXPECT_NEAR(first.left + first.right, screenX, 3) << describe(first);
    EXPECT_NEAR(second.left + second.right, screenX, 3) << describe(second);
}

TEST_F(CaptionDrawing, AmpersandIsAnOrdinaryCharacter)
{
    draw("&", 0);
    const PixelBox one = boxWhere(screen, brighter);
    testing_support::fillSurface(screen, backgroundGrey, backgroundGrey, backgroundGrey);
    draw("&&", 0);
    const PixelBox two = boxWhere(screen, brighter);
    ASSERT_FALSE(one.empty()) << "a lone & must be drawn, not taken as a mnemonic prefix";
    EXPECT_GT(two.width(), one.width() + one.width() / 2) << "&& draws two ampersands";
}

TEST_F(CaptionDrawing, Cp949AndUtf8OfTheSameTextDrawTheSamePixels)
{
    // 한글 자막 똠 in UTF-8 and in CP949 (똠 is one of the syllables plain EUC-KR lacks).
    const std::string utf8 = "\xED\x95\x9C\xEA\xB8\x80 \xEC\x9E\x90\xEB\xA7\x89 \xEB\x98\xA0";
    const std::string cp949 = "\xC7\xD1\xB1\xDB \xC0\xDA\xB8\xB7 \x8C\x63";
    const auto fromUtf8 = pixelsAfter(utf8, styleShadow | styleSemiAutoPlace);
    const auto fromCp949 = pixelsAfter(cp949, styleShadow | styleSemiAutoPlace);
    EXPECT_FALSE(boxWhere(screen, brighter).empty());
    EXPECT_TRUE(fromUtf8 == fromCp949);
}

TEST_F(CaptionDrawing, NothingInForceLeavesSurfaceAndContextAlone)
{
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkMode(dc, OPAQUE);
    Caption track(nullptr);
    track.addEntry(5000, lineText);
    track.addEntry(endMarker, "");
    const auto before = screen.pixels;
    track.draw(1000, dc, 0, 380, 640, 100, styleShadow | styleSemiAutoPlace);
    Caption empty(nullptr);
    empty.draw(1000, dc, 0, 380, 640, 100, styleShadow);
    EXPECT_TRUE(screen.pixels == before);
    EXPECT_EQ(SetTextColor(dc, 0), RGB(1, 2, 3));
    EXPECT_EQ(SetBkMode(dc, OPAQUE), OPAQUE);
}

TEST_F(CaptionDrawing, EmptyEntrySetsColoursAndDrawsNothing)
{
    SetBkMode(dc, OPAQUE);
    const auto before = screen.pixels;
    draw("", styleShadow | styleOutline | styleThickOutline | styleAutoPlace | styleSemiAutoPlace);
    EXPECT_TRUE(screen.pixels == before);
    EXPECT_EQ(SetTextColor(dc, 0), RGB(255, 255, 255));
    EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
}

TEST_F(CaptionDrawing, OneKoreanFileInFiveEncodingsDrawsTheSamePixels)
{
    // (짝짝짝) 킥킥 in CP949 is also valid UTF-8 ("(¦¦¦) űű"); the file's other caption makes the whole file
    // CP949, and every caption of it is drawn as CP949.
    auto sami = [](const std::string& first, const std::string& second) {
        return "<SAMI><BODY><SYNC Start=1000><P Class=KRCC>" + first + "\r\n<SYNC Start=3000><P Class=KRCC>" + second
            + "\r\n</BODY></SAMI>\r\n";
    };
    const std::string utf8 = sami("(\xEC\xA7\x9D\xEC\xA7\x9D\xEC\xA7\x9D) \xED\x82\xA5\xED\x82\xA5",
        "\xED\x95\x9C\xEA\xB8\x80 \xEC\x9E\x90\xEB\xA7\x89");
    const std::string cp949 = sami("(\xC2\xA6\xC2\xA6\xC2\xA6) \xC5\xB1\xC5\xB1", "\xC7\xD1\xB1\xDB \xC0\xDA\xB8\xB7");
    const std::u16string wide = u"<SAMI><BODY><SYNC Start=1000><P Class=KRCC>(\uC9DD\uC9DD\uC9DD) \uD0A5\uD0A5\r\n"
                                u"<SYNC Start=3000><P Class=KRCC>\uD55C\uAE00 \uC790\uB9C9\r\n</BODY></SAMI>\r\n";
    auto utf16 = [&](bool littleEndian) {
        std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
        for (char16_t unit : wide) {
            char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
            out += littleEndian ? std::string { low, high } : std::string { high, low };
        }
        return out;
    };

    // The reference: the same text as UTF-8, drawn from a track of no file.
    const auto expected = pixelsAfter("(\xEC\xA7\x9D\xEC\xA7\x9D\xEC\xA7\x9D) \xED\x82\xA5\xED\x82\xA5", styleShadow);
    ASSERT_FALSE(boxWhere(screen, brighter).empty());
    testing_support::ScratchDir dir;
    const std::pair<const char*, std::string> files[] = { { "cp949", cp949 }, { "utf8", utf8 },
        { "utf8bom", "\xEF\xBB\xBF" + utf8 }, { "utf16le", utf16(true) }, { "utf16be", utf16(false) } };
    for (const auto& [name, bytes] : files) {
        Caption track(dir.write(std::string(name) + ".smi", bytes).c_str());
        testing_support::fillSurface(screen, backgroundGrey, backgroundGrey, backgroundGrey);
        track.draw(1500, dc, 0, screenY - 100, screenX, 100, styleShadow | styleSemiAutoPlace);
        EXPECT_TRUE(screen.pixels == expected) << name;
    }
}

TEST_F(CaptionDrawing, TheSameCaptionsInEveryFileKindDrawTheSamePixels)
{
    using testing_support::CaptionForm;
    // Two lines (one Korean), a gap, one line; times in hundredths so that every kind can write them.
    const std::vector<testing_support::SampleCue> cues = {
        { 1000, 2500, "\xED\x95\x9C\xEA\xB8\x80 \xEC\x9E\x90\xEB\xA7\x89\nsecond, line" },
        { 3000, 4010, "(\xEC\xA7\x9D) 1, 2!" },
    };
    const uint32_t times[] = { 500, 1000, 2499, 2500, 2700, 3500, 4009, 4010, 90000 };
    testing_support::ScratchDir dir;
    std::vector<std::vector<std::vector<uint8_t>>> drawn;
    for (CaptionForm form : { CaptionForm::Sami, CaptionForm::SubRip, CaptionForm::WebVtt, CaptionForm::Ass }) {
        std::string name = std::string("captions") + testing_support::suffixOf(form);
        Caption track(dir.write(name, testing_support::captionFile(form, cues)).c_str());
        ASSERT_EQ(track.loadResult, 0) << name;
        drawn.emplace_back();
        for (uint32_t time : times) {
            testing_support::fillSurface(screen, backgroundGrey, backgroundGrey, backgroundGrey);
            track.draw(time, dc, 0, screenY - 100, screenX, 100, styleShadow | styleSemiAutoPlace);
            drawn.back().push_back(screen.pixels);
        }
        for (size_t i = 0; i < std::size(times); ++i)
            EXPECT_TRUE(drawn.back()[i] == drawn.front()[i]) << name << " at " << times[i];
    }
    // The reference itself shows the captions and clears them.
    const auto& sami = drawn.front();
    EXPECT_TRUE(sami[0] == sami[4] && sami[0] == sami[8]);
    EXPECT_TRUE(sami[1] == sami[2] && sami[0] != sami[1] && sami[1] != sami[5]);
    EXPECT_TRUE(sami[3] == sami[0] && sami[7] == sami[0] && sami[6] == sami[5]);
}

TEST_F(CaptionDrawing, TwoLanguageFileShowsOneClassAtATimeOrBothStacked)
{
    testing_support::ScratchDir dir;
    const std::string path = dir.write("two.smi",
        "<SAMI><HEAD><STYLE TYPE=\"text/css\"><!--\r\nP { margin-left:8pt; }\r\n"
        ".KRCC { Name:Korean; lang:ko-KR; SAMIType:CC; }\r\n.ENCC { Name:English; lang:en-US; SAMIType:CC; }\r\n"
        ".FRCC { Name:French; lang:fr-FR; }\r\n--></STYLE></HEAD><BODY>\r\n"
        "<SYNC Start=1000><P Class=KRCC>\xEC\x95\x88\xEB\x85\x95\r\n<SYNC Start=1012><P Class=ENCC>Hello\r\n"
        "<SYNC Start=3000><P Class=KRCC>&nbsp;\r\n<SYNC Start=4000><P Class=ENCC>&nbsp;\r\n"
        "<SYNC Start=5000><P Class=KRCC>\xEB\x91\x98<P Class=ENCC>Two\r\n<SYNC Start=6000>&nbsp;\r\n</BODY></SAMI>\r\n");
    Caption track(path.c_str());
    ASSERT_EQ(track.classes.size(), 2u) << "a class without text is not offered";
    EXPECT_EQ(track.classes[0].name + track.classes[0].title + track.classes[0].lang, "KRCCKoreanko-KR");
    EXPECT_EQ(track.classes[1].ownEntries, 3);
    // The whole track still reads as one: the texts of both classes joined under each SYNC.
    std::string whole;
    for (const ListNode* n = track.entries; n; n = n->next)
        whole += std::to_string(static_cast<const CaptionEntry*>(n->data)->start) + "=" + static_cast<const CaptionEntry*>(n->data)->text + ";";
    EXPECT_EQ(whole, "1000=\xEC\x95\x88\xEB\x85\x95;1012=Hello;3000= ;4000= ;5000=\xEB\x91\x98Two;6000= ;4294967295=;");

    auto shownAt = [&](uint32_t t) {
        const std::string* text = track.shownTextAt(t);
        return text ? *text : std::string("<none>");
    };
    auto states = [&] {
        std::string out;
        for (uint32_t t : { 900u, 1006u, 1500u, 3500u, 4500u, 5500u, 6500u })
            out += shownAt(t) + "|";
        return out;
    };
    // Korean by default; another class's entries neither draw nor clear it, and its own &nbsp; clears it.
    EXPECT_EQ(track.shownClassName(), "KRCC");
    EXPECT_EQ(states(), "<none>|\xEC\x95\x88\xEB\x85\x95|\xEC\x95\x88\xEB\x85\x95| | |\xEB\x91\x98| |");
    track.nextClassChoice();
    EXPECT_EQ(states(), "<none>|<none>|Hello|Hello| |Two| |");
    track.nextClassChoice();
    EXPECT_EQ(track.shownClassName(), "*");
    EXPECT_EQ(states(), "<none>|\xEC\x95\x88\xEB\x85\x95|\xEC\x95\x88\xEB\x85\x95\nHello|Hello||\xEB\x91\x98\nTwo||");
    // Both stacked draw as the two lines of one caption would.
    testing_support::fillSurface(screen, backgroundGrey, backgroundGrey, backgroundGrey);
    track.draw(1500, dc, 0, screenY - 100, screenX, 100, styleShadow | styleSemiAutoPlace);
    const auto stacked = screen.pixels;
    EXPECT_TRUE(pixelsAfter("\xEC\x95\x88\xEB\x85\x95\nHello", styleShadow | styleSemiAutoPlace) == stacked);
    track.nextClassChoice();
    EXPECT_EQ(track.shownClassName(), "KRCC");
}

namespace {

// WCAG's relative luminance of an sRGB colour.
double relativeLuminance(int r, int g, int b)
{
    auto linear = [](int c) {
        const double s = c / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
}

}

// A box behind each line, three quarters black, with a margin; yellow text on it reads at WCAG's 4.5:1 even
// over a white picture; the lines' boxes meet without darkening twice; a caption of nothing but sound
// descriptions, hidden, draws no box at all.
TEST_F(CaptionDrawing, BoxesStandBehindEachLineAndTheTextReadsOnThem)
{
    testing_support::fillSurface(screen, 255, 255, 255);
    Caption track(nullptr);
    track.addEntry(1000, "가나\n가나다라마바사");
    track.addEntry(2000, "[음악]");
    track.addEntry(endMarker, "");
    track.draw(1500, dc, 0, screenY - 100, screenX, 100, 0, INT32_MAX, 1.0, { CaptionBox::YellowOnBox });

    const int shade = 255 / 4;  // white under three quarters of black
    auto isShade = [&](int r, int g, int b) { return r == shade && g == shade && b == shade; };
    auto isYellow = [](int r, int g, int b) { return r > 200 && g > 200 && b < 80; };
    const PixelBox boxes = boxWhere(screen, isShade);
    const PixelBox text = boxWhere(screen, isYellow);
    ASSERT_FALSE(text.empty());
    EXPECT_GE(text.left - boxes.left, 4) << describe(text) << " in " << describe(boxes);
    EXPECT_GE(boxes.right - text.right, 4) << describe(text) << " in " << describe(boxes);
    EXPECT_GE(text.top - boxes.top, 3) << describe(text) << " in " << describe(boxes);
    EXPECT_GE(boxes.bottom - text.bottom, 2) << describe(text) << " in " << describe(boxes);
    // One box per line: the short first line's is far narrower than the long second line's.
    const PixelBox firstLine = boxWhere(screen, isShade, 0, boxes.top, screenX, boxes.top + cell / 2);
    const PixelBox secondLine = boxWhere(screen, isShade, 0, boxes.bottom - cell / 2, screenX, boxes.bottom);
    EXPECT_LT(firstLine.width() * 2, secondLine.width()) << describe(firstLine) << " " << describe(secondLine);

    int brightest = 0;
    double textLuminance = 0;
    for (int y = 0; y < screenY; ++y)
        for (int x = 0; x < screenX; ++x) {
            int r, g, b;
            platform::readRgb(screen, x, y, r, g, b);
            const bool inBox = x >= boxes.left && x < boxes.right && y >= boxes.top && y < boxes.bottom;
            if (!inBox) {
                ASSERT_TRUE(r == 255 && g == 255 && b == 255) << "outside the boxes at " << x << "," << y;
            }
            // Nothing is shaded twice: every pixel is the box, the text, or a blend of the two.
            ASSERT_FALSE(r < shade || g < shade) << "darkened twice at " << x << "," << y;
            if (isYellow(r, g, b) && r + g > brightest) {
                brightest = r + g;
                textLuminance = relativeLuminance(r, g, b);
            }
        }
    const double contrast = (textLuminance + 0.05) / (relativeLuminance(shade, shade, shade) + 0.05);
    EXPECT_GE(contrast, 4.5);

    testing_support::fillSurface(screen, 255, 255, 255);
    track.draw(2500, dc, 0, screenY - 100, screenX, 100, 0, INT32_MAX, 1.0,
        { CaptionBox::Box, SoundDescriptions::Hidden });
    EXPECT_TRUE(boxWhere(screen, [](int r, int g, int b) { return r < 255 || g < 255 || b < 255; }).empty());
}

#include "display/info_overlay.h"
#include "display/overlay_text.h"

#include "app/main_loop.h"
#include "app/settings_store.h"
#include "caption/caption.h"
#include "display/frame_composition.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "support/scripted_media_backend.h"
#include "support/test_files.h"
#include "ui/commands.h"

#include "composition_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

using namespace sublumen;
using namespace testing_support;

namespace {

using Lines = std::vector<std::tuple<int, int, std::string>>;

// The eight information lines as given, then the help lines, at pass offset o.
Lines overlayLines(const std::vector<std::string>& info, int o = 0)
{
    Lines lines;
    for (size_t i = 0; i < info.size(); ++i)
        lines.emplace_back(o, o + 13 * static_cast<int>(i), info[i]);
    for (int i = 0; i < static_cast<int>(overlayKeyLines().size()); ++i)
        lines.emplace_back(o, o + 110 + 13 * i, overlayKeyLines()[i]);
    return lines;
}

class InfoOverlay : public Composition {
protected:
    void SetUp() override
    {
        Composition::SetUp();
        if (IsSkipped())
            return;
        std::strcpy(sys.movie.currentItem.title, "Night Train");
        std::strcpy(sys.movie.currentItem.movie, "/films/night.avi");
        std::strcpy(sys.movie.currentItem.caption, "/films/night.smi");
        sys.movie.currentItem.timeshift = -1500;
        paint(90, 90, 90);
    }

    std::vector<std::string> info(const std::string& status, const std::string& placement, const std::string& captionLine)
    {
        return { bannerText, "제목:Night Train", "영상:/films/night.avi", "자막:/films/night.smi,-1500", status,
            "화면 모드:640x480x32", placement, captionLine };
    }

    // The overlay of the record's state, drawn on the back surface in the given pass.
    void drawOverlay(int pass)
    {
        const OverlayText text = overlayText(sys);
        HDC dc = sys.displays.backSurface()->getDC();
        drawInfoOverlay(dc, frameLayout(sys), text, pass);
        sys.displays.backSurface()->releaseDC(dc);
    }

    // Draws the normal pass and compares it with the expected lines drawn by TextOutA.
    void expectNormalPass(const std::vector<std::string>& lines)
    {
        platform::Surface background = screen();
        drawOverlay(0);
        platform::Surface expected = reference(background, sys.startup.overlayFont,
            static_cast<COLORREF>(sys.settings.helpcolor), overlayLines(lines));
        int row = firstDifferentRow(screen(), expected);
        EXPECT_EQ(row, -1) << "first difference in row " << row << " (near line " << row / 13 << ")";
    }

    const std::string defaultPlacement = "영상배치#LetterBox: 0,0(640,480)->0,0(640,480)";
    const std::string defaultCaptionLine = "자막:켬 글자:굴림체(24) 위치:100 설정:Sa?EQT";
};

TEST_F(InfoOverlay, DefaultSettingsWithoutAStream)
{
    expectNormalPass(info("동영상 끝.", defaultPlacement, defaultCaptionLine));
}

TEST_F(InfoOverlay, CaptionLineShowsTheFileEncodingAndTheClassShown)
{
    ScratchDir files;
    const std::string path = files.write("two.smi",
        "<STYLE><!-- .KRCC { lang:ko-KR; } .ENCC { lang:en-US; } --></STYLE>"
        "<SYNC Start=1><P Class=KRCC>\xC7\xD1<P Class=ENCC>Hi<SYNC Start=2>&nbsp;");
    sys.movie.currentCaption.reset(new Caption(path.c_str()));
    Caption& caption = *sys.movie.currentCaption;
    EXPECT_EQ(overlayKeyLines()[10], "(N)자막 언어: 하나씩/모두 (W)음성 (V)ASS·그림 자막: 원본/자체");
    EXPECT_EQ(overlayKeyLines()[11], "Ctrl+좌/우:앞/뒤 자막으로, Ctrl+상:자막 다시");
    expectNormalPass({ bannerText, "제목:Night Train", "영상:/films/night.avi", "자막:/films/night.smi,-1500 [CP949 KRCC]",
        "동영상 끝.", "화면 모드:640x480x32", defaultPlacement, defaultCaptionLine });
    caption.nextClassChoice();
    caption.nextClassChoice();
    paint(90, 90, 90);
    expectNormalPass({ bannerText, "제목:Night Train", "영상:/films/night.avi",
        "자막:/films/night.smi,-1500 [CP949 KRCC+ENCC]", "동영상 끝.", "화면 모드:640x480x32", defaultPlacement,
        defaultCaptionLine });
    // The caption rate of the sync snaps follows the shift.
    sys.movie.captionRate = 5063731.0 / 5280000.0;
    paint(90, 90, 90);
    expectNormalPass({ bannerText, "제목:Night Train", "영상:/films/night.avi",
        "자막:/films/night.smi,-1500 속도:0.95904 [CP949 KRCC+ENCC]", "동영상 끝.", "화면 모드:640x480x32",
        defaultPlacement, defaultCaptionLine });
    // A second caption follows with its own shift; its path, in CP949, is shown as Korean too.
    sys.movie.captionRate = 1.0;
    sys.movie.secondChoice = "file:night.ko.srt";
    sys.movie.secondName = "/films/\xB9\xE3.srt";
    sys.movie.secondShift = 2000;
    paint(90, 90, 90);
    expectNormalPass({ bannerText, "제목:Night Train", "영상:/films/night.avi",
        "자막:/films/night.smi,-1500 [CP949 KRCC+ENCC] 둘째:/films/밤.srt,2000", "동영상 끝.", "화면 모드:640x480x32",
        defaultPlacement, defaultCaptionLine });
}

TEST_F(InfoOverlay, UnknownFitModeShowsQuestionMarks)
{
    sys.settings.fitmode = 5;
    sys.videoPlacement = VideoPlacement { 0, 18, 720, 540, 0, 0, 640, 480 };
    expectNormalPass(info("동영상 끝.", "영상배치#???: 0,18(720,540)->0,0(640,480)", defaultCaptionLine));
}

struct SwitchCase {
    int captionstyle, asksmi, isending, quickskip, alwaystop, pictureFlags, iscaption, fontface;
    const char* line;
};

class OverlaySwitches : public InfoOverlay, public ::testing::WithParamInterface<SwitchCase> { };

TEST_P(OverlaySwitches, LettersFollowTheSwitchesInOrder)
{
    const SwitchCase& c = GetParam();
    Settings& s = sys.settings;
    s.captionstyle = c.captionstyle;
    s.asksmi = c.asksmi;
    s.isending = c.isending;
    s.quickskip = c.quickskip;
    s.alwaystop = c.alwaystop;
    s.iscaption = c.iscaption;
    s.fontface = c.fontface;
    sys.commands.pictureFlags = c.pictureFlags;
    expectNormalPass(info("동영상 끝.", defaultPlacement, c.line));
}

INSTANTIATE_TEST_SUITE_P(Settings, OverlaySwitches,
    ::testing::Values(SwitchCase { 0, 0, 0, 0, 0, 0, 0, 1, "자막:끔 글자:궁서체(24) 위치:100 설정:" },
        SwitchCase { 1 | 2 | 4 | 8 | 128 | 512, 1, 1, 1, 1, EnhanceImage | FlipVertical, 1, 3,
            "자막:켬 글자:바탕체(24) 위치:100 설정:oOSRAa?EQT*" },
        SwitchCase { 512 | 8, 0, 1, 0, 0, EnhanceImage, 1, 2, "자막:켬 글자:돋움체(24) 위치:100 설정:OAE*" },
        SwitchCase { 1 | 4 | 64 | 256, 0, 0, 0, 1, FlipVertical, 1, 0, "자막:켬 글자:굴림체(24) 위치:100 설정:oRT" }));

TEST_F(InfoOverlay, ShadowPassFollowsTheCaptionShadowBit)
{
    sys.settings.help = 1;
    sys.settings.isending = 0;  // no movie: the background stays as painted
    const std::vector<std::string> lines = info("동영상 끝.", defaultPlacement, "자막:켬 글자:굴림체(24) 위치:100 설정:S?QT");
    platform::Surface background = screen();
    platform::Surface shadowed = reference(
        reference(background, sys.startup.overlayFont, RGB(0, 0, 0), overlayLines(lines, 1)),
        sys.startup.overlayFont, RGB(255, 255, 255), overlayLines(lines));

    sys.settings.captionstyle = styleShadow;
    renderFrame(sys);
    EXPECT_EQ(firstDifferentRow(screen(), shadowed), -1);
    EXPECT_FALSE(boxWhere(screen(), isBlack).empty());

    sys.settings.captionstyle = 0;
    paint(90, 90, 90);
    renderFrame(sys);
    std::vector<std::string> plain = lines;
    plain[7] = "자막:켬 글자:굴림체(24) 위치:100 설정:?QT";
    EXPECT_EQ(firstDifferentRow(screen(), reference(background, sys.startup.overlayFont, RGB(255, 255, 255),
                                            overlayLines(plain))),
        -1);
    EXPECT_TRUE(boxWhere(screen(), [](int r, int, int) { return r < 90; }).empty());
}

TEST_F(InfoOverlay, ShadowColourIsTheInvertedHelpColour)
{
    sys.settings.helpcolor = 0x00FF00;  // green
    platform::Surface background = screen();
    drawOverlay(1);
    auto magenta = [](int r, int g, int b) { return r == 255 && g == 0 && b == 255; };
    PixelBox shadow = boxWhere(screen(), magenta);
    ASSERT_FALSE(shadow.empty());
    paint(90, 90, 90);
    drawOverlay(0);
    PixelBox text = boxWhere(screen(), [](int r, int g, int b) { return r == 0 && g == 255 && b == 0; });
    EXPECT_EQ(shadow, text.shifted(1, 1));
}

// At 320x240 only the first ten key lines fit below the information: the rest flow into a further column
// from the same row, so each shows its start, and the first ten stay where they were.
TEST_F(InfoOverlay, AtTheSmallestModeEveryKeyLineIsSeen)
{
    platform::Surface small(320, 240, platform::PixelFormat::XRGB8888);
    fillSurface(small, 0, 0, 0);
    FrameLayout layout;
    layout.width = 320;
    layout.height = 240;
    layout.fonts.overlay = sys.startup.overlayFont;
    HDC dc = platform::createSurfaceDC(small);
    drawInfoOverlay(dc, layout, OverlayText { {}, RGB(255, 255, 255) }, 0);
    platform::destroySurfaceDC(dc);

    Lines firstTen;
    for (int i = 0; i < 10; ++i)
        firstTen.emplace_back(0, 110 + 13 * i, overlayKeyLines()[static_cast<size_t>(i)]);
    platform::Surface black(320, 240, platform::PixelFormat::XRGB8888);
    fillSurface(black, 0, 0, 0);
    const platform::Surface expected = reference(black, sys.startup.overlayFont, RGB(255, 255, 255), firstTen);
    // The start of every line, well inside the first column when the columns share the width equally.
    const size_t columns = (overlayKeyLines().size() + 9) / 10;
    const int share = 320 / static_cast<int>(columns);
    const int startWidth = std::min(96, share - 12);
    auto differs = [&](int x0, int y0) {
        for (int y = y0; y < y0 + 13; ++y)
            for (int x = x0; x < x0 + startWidth; ++x)
                if (platform::readPixel(small, x, y) != platform::readPixel(expected, x, y))
                    return true;
        return false;
    };
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(differs(0, 110 + 13 * i)) << "line " << i + 1 << " moved";
    ASSERT_GT(overlayKeyLines().size(), 10u);
    for (size_t i = 10; i < overlayKeyLines().size(); ++i) {
        const int top = 110 + 13 * static_cast<int>(i % 10);
        const int left = share * static_cast<int>(i / 10);
        EXPECT_FALSE(boxWhere(small, isWhite, left, top, left + share, top + 13).empty()) << "line " << i + 1 << " unseen";
    }
}

TEST_F(InfoOverlay, Cp949ListTextsShowAsKorean)
{
    std::strcpy(sys.movie.currentItem.title, "\xBF\xB5\xC8\xAD");  // "영화" in CP949
    std::vector<std::string> lines = info("동영상 끝.", defaultPlacement, defaultCaptionLine);
    lines[1] = "제목:영화";
    expectNormalPass(lines);
}

TEST_F(InfoOverlay, AnOverlongTitleIsCutToTheLineBuffer)
{
    std::string title(1000, 'x');
    std::strcpy(sys.movie.currentItem.title, title.c_str());
    std::vector<std::string> lines = info("동영상 끝.", defaultPlacement, defaultCaptionLine);
    lines[1] = "제목:" + std::string(255 - std::strlen("제목:"), 'x');
    expectNormalPass(lines);
}

class OverlayWithStream : public InfoOverlay {
protected:
    void TearDown() override
    {
        closeMovieStream(sys);
        scope.reset();
        InfoOverlay::TearDown();
    }

    void open()
    {
        script->properties.duration = std::chrono::milliseconds(95'000);
        scope = std::make_unique<ScriptedBackendScope>(script);
        openMovieStream(sys, "/films/night.avi");
        ASSERT_EQ(sys.movie.currentStream->lastResult, 0);
        sys.movie.movieDuration = sys.movie.currentStream->duration;
    }

    std::shared_ptr<MediaScript> script = std::make_shared<MediaScript>();
    std::unique_ptr<ScriptedBackendScope> scope;
};

TEST_F(OverlayWithStream, PlaybackStatusShowsTimesOrTheEnd)
{
    open();
    sys.playback.framesPerSecond = 29;
    sys.composition.stallCount = 3;
    script->time = std::chrono::milliseconds(61'234);
    expectNormalPass(info("29FPS, P=3 시간:현재/전체=61234/95000 msec", defaultPlacement, defaultCaptionLine));

    paint(90, 90, 90);
    sys.movie.currentStream->ended = 1;
    expectNormalPass(info("29FPS, P=3 시간:끝.", defaultPlacement, defaultCaptionLine));
}

// The audio stream heard is named only where there is a choice: one stream leaves the line as it is.
TEST_F(OverlayWithStream, PlaybackStatusNamesTheAudioStreamOnlyAmongSeveral)
{
    script->audioStreams = { { 1, "kor", true } };
    script->playedAudio = 1;
    open();
    sys.playback.framesPerSecond = 29;
    script->time = std::chrono::milliseconds(1'000);
    expectNormalPass(info("29FPS, P=0 시간:현재/전체=1000/95000 msec", defaultPlacement, defaultCaptionLine));

    paint(90, 90, 90);
    script->audioStreams.push_back({ 2, "eng", false });
    script->playedAudio = 2;
    expectNormalPass(info("29FPS, P=0 시간:현재/전체=1000/95000 msec 음성:2/2 [eng]", defaultPlacement,
        defaultCaptionLine));
}

struct FitCase {
    const char* text;
    size_t size;
    size_t kept;
};

class FitLine : public ::testing::TestWithParam<FitCase> { };

TEST_P(FitLine, CutsAfterTheLastWholeCharacter)
{
    std::string text = GetParam().text;
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    fitLine(buffer.data(), GetParam().size);
    EXPECT_EQ(std::string(buffer.data()), text.substr(0, GetParam().kept));
}

std::string repeat(const std::string& unit, int n, const std::string& prefix = "")
{
    std::string s = prefix;
    for (int i = 0; i < n; ++i)
        s += unit;
    return s;
}

// Each text is kept alive for the table.
const std::string ascii300 = repeat("a", 300);
const std::string ascii255 = repeat("a", 255);
const std::string ascii256 = repeat("a", 256);
const std::string hangulUtf8 = repeat("가", 100);          // 3 bytes each
const std::string hangulUtf8Odd = repeat("가", 100, "a");
const std::string hangulCp949 = repeat("\xB0\xA1", 150);  // 가, 2 bytes each
const std::string hangulCp949Odd = repeat("\xB0\xA1", 150, "a");
// 똠 in CP949 has an ASCII letter as its trail byte: it must not be taken for a character of its own.
const std::string uhcTrailLetters = repeat("\x8C\x63", 150, "ab");

INSTANTIATE_TEST_SUITE_P(Texts, FitLine,
    ::testing::Values(FitCase { "short", 256, 5 }, FitCase { ascii255.c_str(), 256, 255 },
        FitCase { ascii256.c_str(), 256, 255 }, FitCase { ascii300.c_str(), 256, 255 },
        FitCase { hangulUtf8.c_str(), 256, 255 }, FitCase { hangulUtf8Odd.c_str(), 256, 253 },
        FitCase { hangulCp949.c_str(), 256, 254 }, FitCase { hangulCp949Odd.c_str(), 256, 255 },
        FitCase { uhcTrailLetters.c_str(), 256, 254 }, FitCase { "abc", 1, 0 }));

}

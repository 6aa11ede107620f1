#include "app/main_loop.h"
#include "caption/caption.h"
#include "display/frame_composition.h"
#include "display/video_placement.h"
#include "media/caption_look.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "support/scripted_media_backend.h"
#include "ui/commands.h"

#include "composition_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace sublumen;
using namespace testing_support;
using std::chrono::milliseconds;

namespace {

// Authored for a 320x180 canvas: a red box placed with \pos (a vector drawing, so that its edges fall on
// known pixels whatever the fonts) and a white line of dialogue at the bottom.
constexpr const char* styledScript = R"([Script Info]
ScriptType: v4.00+
PlayResX: 320
PlayResY: 180

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding
Style: Default,NanumGothic,16,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,1

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Dialogue: 0,0:00:00.00,0:00:10.00,Default,,0,0,0,,{\an7\pos(100,50)\c&H0000FF&\bord0\shadow0\p1}m 0 0 l 20 0 20 10 0 10{\p0}
Dialogue: 0,0:00:00.00,0:00:10.00,Default,,0,0,0,,가나다
)";

bool isRed(int r, int g, int b) { return r > 128 && g < 64 && b < 64; }

class AuthoredCaptionDrawing : public MovieComposition {};

// A 1280x720 movie letterboxed on 640x480 is shown as 640x360 from row 60, so the script's canvas is
// drawn twice its size: the box of (100,50)-(120,60) lands on (200,160)-(240,180) in pure red. V shows the
// same track in our caption style, drawn exactly as a track without styling is; V again brings it back.
TEST_F(AuthoredCaptionDrawing, APlacedColouredBoxLandsOnTheShownPictureAndVSwitchesToOurStyle)
{
    script->properties.width = 1280;
    script->properties.height = 720;
    script->time = milliseconds(1000);
    scope = std::make_unique<ScriptedBackendScope>(script);
    openMovieStream(sys, "/films/movie.mkv");
    ASSERT_EQ(sys.movie.currentStream->lastResult, 0);
    sys.movie.movieDuration = sys.movie.currentStream->duration;
    sys.settings.fitmode = FitMode::LetterBox;
    computeVideoPlacement(sys);
    sys.settings.seekbar = 0;

    const std::string path = dir.write("movie.ass", styledScript);
    openMovieCaption(sys, path.c_str());
    Caption& track = *sys.movie.currentCaption;
    ASSERT_TRUE(track.authored) << "an .ass file loaded the normal way carries its styling";
    // The first rendering looks the fonts up; the test waits for it instead of showing the frame without.
    track.authored->setRenderBudget(std::chrono::seconds(60));

    renderFrame(sys);
    const PixelBox box = boxWhere(screen(), isRed);
    EXPECT_NEAR(box.left, 200, 1) << describe(box);
    EXPECT_NEAR(box.top, 160, 1) << describe(box);
    EXPECT_NEAR(box.right, 240, 1) << describe(box);
    EXPECT_NEAR(box.bottom, 180, 1) << describe(box);
    int r = 0, g = 0, b = 0;
    platform::readRgb(screen(), 220, 170, r, g, b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g + b, 0);
    EXPECT_STREQ(captionLookName(sys), "원본");

    runKeyCommand(sys, 'V');
    renderFrame(sys);
    EXPECT_TRUE(boxWhere(screen(), isRed).empty()) << "our style draws text only";
    EXPECT_FALSE(boxWhere(screen(), isWhite, 0, 480 - 100, 640, 480).empty()) << "the dialogue in our caption band";
    EXPECT_EQ(sys.movie.memoryFields[captionLookField], ourCaptionLook);
    EXPECT_STREQ(captionLookName(sys), "자체");
    const platform::Surface ours = screen();
    std::unique_ptr<platform::AuthoredCaptions> styling = std::move(track.authored);
    renderFrame(sys);
    EXPECT_EQ(firstDifferentRow(ours, screen()), -1) << "our style is today's drawing of the track";
    track.authored = std::move(styling);

    runKeyCommand(sys, 'V');
    renderFrame(sys);
    EXPECT_EQ(boxWhere(screen(), isRed), box);
    EXPECT_FALSE(sys.movie.memoryFields.contains(captionLookField)) << "as authored is the default, not stored";
}

}

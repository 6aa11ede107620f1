// Text caption streams inside the movie: the one chosen, found without a question, and drawn exactly
// as the same captions in a SAMI file beside the movie. The movies are muxed with the ffmpeg program.
#include "app/path_text.h"
#include "caption/caption.h"
#include "media/caption_choice.h"
#include "media/caption_discovery.h"
#include "media/media_stream.h"
#include "media/movie_list.h"
#include "media/movie_session.h"
#include "media/movie_start.h"
#include "platform/gdi/gdi.h"
#include "stream_setup.h"
#include "support/caption_forms.h"
#include "support/drawing.h"
#include "support/run_ffmpeg.h"
#include "support/scripted_chooser.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace sublumen;

namespace {

// The same captions in the three forms: a caption that ends before the next starts, one that runs
// into the next, two lines, and Hangul.
constexpr const char* koreanSrt = "1\n00:00:00,200 --> 00:00:00,900\n안녕하세요\n\n"
                                  "2\n00:00:01,100 --> 00:00:01,700\n<i>두 줄</i>\n자막입니다\n\n"
                                  "3\n00:00:01,700 --> 00:00:02,500\n{\\b1}끝{\\b0}\n\n";
constexpr const char* englishSrt = "1\n00:00:00,200 --> 00:00:02,500\nHello\n\n";

using testing_support::runFfmpeg;

class CaptionStream : public stream_setup::DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        source = stream_setup::Movies::get().avi();
        if (source.empty())
            GTEST_SKIP() << "no AVI movie could be encoded";
        korean = dir.write("ko.srt", koreanSrt);
        english = dir.write("en.srt", englishSrt);
    }
    void TearDown() override
    {
        closeMovie(sys);
        sys.movie.movieList.reset();
        DisplayTest::TearDown();
    }

    // Starts the single movie at path as the player does and plays it until its track holds entries
    // (the end marker included) or the movie ends.
    void play(const std::string& path, size_t entries)
    {
        boundedCopy(sys.startup.startPath, path.c_str(), sizeof sys.startup.startPath);
        ASSERT_EQ(buildMovieList(sys), 0);
        ASSERT_EQ(startMovie(sys, 0), 0);
        ASSERT_NE(sys.movie.currentCaption, nullptr);
        for (int i = 0; i < 400 && count() < entries && !sys.movie.currentStream->ended; ++i)
            advanceMovie(sys);
    }
    size_t count() const
    {
        size_t n = 0;
        for (ListNode* node = sys.movie.currentCaption->entries; node; node = node->next)
            ++n;
        return n;
    }

    std::string source;
    std::string korean;
    std::string english;
};

// The caption band of a 640x480 screen drawn by track at time.
std::vector<uint8_t> drawn(Caption& track, uint32_t time)
{
    platform::Surface screen(640, 480, platform::PixelFormat::XRGB8888);
    testing_support::fillSurface(screen, testing_support::backgroundGrey, testing_support::backgroundGrey,
        testing_support::backgroundGrey);
    HDC dc = platform::createSurfaceDC(screen);
    HFONT font = testing_support::koreanFont(24);
    HFONT previous = SelectObject(dc, font);
    track.draw(time, dc, 0, 380, 640, 100, styleShadow | styleSemiAutoPlace);
    SelectObject(dc, previous);
    DeleteObject(font);
    platform::destroySurfaceDC(dc);
    return screen.pixels;
}

}

TEST_F(CaptionStream, TheKoreanStreamOfAMatroskaMovieIsShownWithoutAQuestion)
{
    std::string movie = dir.file("movie.mkv");
    // The English stream comes first and is flagged default; the Korean one still wins.
    ASSERT_TRUE(runFfmpeg({ "-i", source, "-i", english, "-i", korean, "-map", "0", "-map", "1", "-map", "2", "-c:v",
        "copy", "-c:a", "copy", "-c:s", "srt", "-metadata:s:s:0", "language=eng", "-metadata:s:s:1", "language=kor",
        "-disposition:s:0", "default", "-disposition:s:1", "0", movie }));
    sys.settings.asksmi = 1;
    testing_support::ScriptedChooser chooser(dir, "/never.smi");
    testing_support::EnvironmentOverride use("SUBLUMEN_FILE_CHOOSER", chooser.program());

    play(movie, 6);
    EXPECT_FALSE(chooser.wasRun());
    EXPECT_STREQ(sys.movie.currentItem.caption, "[stream 3, kor]");
    Caption& track = *sys.movie.currentCaption;
    EXPECT_EQ(*track.shownTextAt(1200), "두 줄\n자막입니다");
    EXPECT_EQ(*track.shownTextAt(2000), "끝");
    EXPECT_EQ(track.shownTextAt(2600)->size(), 0u);

    // After a seek back the packets come again and change nothing.
    size_t before = count();
    seekMovie(sys, 100);
    for (int i = 0; i < 20; ++i)
        advanceMovie(sys);
    EXPECT_EQ(count(), before);
}

TEST_F(CaptionStream, MatroskaAndMp4CaptionsDrawTheSamePixelsAsTheSameSamiFile)
{
    using testing_support::CaptionForm;
    HFONT probe = testing_support::koreanFont(24);
    if (!probe)
        GTEST_SKIP() << "no font for 굴림체 on this machine";
    DeleteObject(probe);
    // Two lines (one Korean), a gap, one line; the second runs past the end of the pictures.
    const std::vector<testing_support::SampleCue> cues = {
        { 1000, 2500, "한글 자막\nsecond, line" },
        { 3000, 4010, "(짝) 1, 2!" },
    };
    std::string srt = dir.write("c.srt", testing_support::captionFile(CaptionForm::SubRip, cues));
    std::string ass = dir.write("c.ass", testing_support::captionFile(CaptionForm::Ass, cues));
    Caption sami(dir.write("same.smi", testing_support::captionFile(CaptionForm::Sami, cues)).c_str());
    struct Muxed {
        std::string movie;
        std::string captions;
        const char* codec;
        const char* audio;
    };
    const Muxed movies[] = {
        { dir.file("srt.mkv"), srt, "srt", "copy" },
        { dir.file("ass.mkv"), ass, "copy", "copy" },
        { dir.file("text.mp4"), srt, "mov_text", "aac" },
    };
    const uint32_t times[] = { 500, 1000, 2499, 2500, 2700, 3500, 4009, 4010 };
    ASSERT_NE(drawn(sami, 1000), drawn(sami, 500));
    for (const Muxed& m : movies) {
        ASSERT_TRUE(runFfmpeg({ "-i", source, "-i", m.captions, "-map", "0", "-map", "1", "-c:v", "copy", "-c:a",
            m.audio, "-c:s", m.codec, m.movie }));
        play(m.movie, 5);
        Caption& streamed = *sys.movie.currentCaption;
        EXPECT_STREQ(sys.movie.currentItem.caption, "[stream 2]") << m.movie;
        for (uint32_t time : times)
            EXPECT_EQ(drawn(streamed, time), drawn(sami, time)) << m.movie << " at " << time;
        closeMovie(sys);
    }
    sami.unload();
}

// Y goes through the files beside the movie, its caption streams and none, a stream taken up without the
// movie being opened again and its captions read again from before the current time; the choices come
// back when the movie is started again.
TEST_F(CaptionStream, YGoesThroughFilesStreamsAndOffAndTheChoiceIsRecalled)
{
    testing_support::EnvironmentOverride state { "XDG_STATE_HOME", dir.file("state") };
    std::string movie = dir.file("movie.mkv");
    ASSERT_TRUE(runFfmpeg({ "-i", source, "-i", english, "-i", korean, "-map", "0", "-map", "1", "-map", "2", "-c:v",
        "copy", "-c:a", "copy", "-c:s", "srt", "-metadata:s:s:0", "language=eng", "-metadata:s:s:1", "language=kor",
        movie }));
    dir.write("movie.en.srt", "1\n00:00:00,100 --> 00:00:02,500\nEnglish file\n\n");
    dir.write("movie.ko.srt", "1\n00:00:00,100 --> 00:00:02,500\n한국어 파일\n\n");
    play(movie, 2);
    const MediaStream* opened = sys.movie.currentStream.get();
    auto shown = [&](uint32_t time) {
        const std::string* text = sys.movie.currentCaption ? sys.movie.currentCaption->shownTextAt(time) : nullptr;
        return text ? *text : std::string("(none)");
    };
    // The captions of a stream taken up arrive from the demuxer's thread.
    auto shownSoon = [&](uint32_t time, const std::string& expected) {
        for (int i = 0; i < 500 && shown(time) != expected; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            takeStreamCaptions(sys);
        }
        return shown(time);
    };
    EXPECT_EQ(shown(1000), "한국어 파일");

    cycleFirstCaption(sys);
    EXPECT_EQ(shown(1000), "English file");
    EXPECT_EQ(std::string(sys.movie.currentItem.caption), dir.file("movie.en.srt"));
    cycleFirstCaption(sys);
    EXPECT_STREQ(sys.movie.currentItem.caption, "[stream 2, eng]");
    EXPECT_EQ(shownSoon(1000, "Hello"), "Hello");
    cycleFirstCaption(sys);
    EXPECT_STREQ(sys.movie.currentItem.caption, "[stream 3, kor]");
    EXPECT_EQ(shownSoon(1200, "두 줄\n자막입니다"), "두 줄\n자막입니다");
    cycleFirstCaption(sys);
    EXPECT_STREQ(sys.movie.currentItem.caption, "끔");
    EXPECT_EQ(sys.movie.currentCaption, nullptr);
    cycleFirstCaption(sys);
    EXPECT_EQ(shown(1000), "한국어 파일");
    EXPECT_EQ(sys.movie.currentStream.get(), opened) << "the movie was not opened again";
    EXPECT_EQ(sys.movie.currentStream->lastResult, 0);

    // The English stream first, the English file second with its own shift: both come back.
    cycleFirstCaption(sys);
    cycleFirstCaption(sys);
    cycleSecondCaption(sys);
    EXPECT_EQ(sys.movie.secondName, dir.file("movie.ko.srt"));
    cycleSecondCaption(sys);
    EXPECT_EQ(sys.movie.secondName, dir.file("movie.en.srt"));
    shiftSecondCaption(sys, 1000);
    closeMovie(sys);
    sys.movie.movieList.reset();
    play(movie, 1);
    EXPECT_STREQ(sys.movie.currentItem.caption, "[stream 2, eng]");
    EXPECT_EQ(shownSoon(1000, "Hello"), "Hello");
    EXPECT_EQ(sys.movie.secondName, dir.file("movie.en.srt"));
    EXPECT_EQ(sys.movie.secondShift, 1000);
    ASSERT_NE(sys.movie.secondCaption, nullptr);
    EXPECT_EQ(*sys.movie.secondCaption->shownTextAt(1000), "English file");
}

// Picture captions read as text while the movie plays: a PGS file of known Korean lines beside the movie
// and one of English lines for the second caption, played as the player plays them.
#include "app/main_loop.h"
#include "app/path_text.h"
#include "caption/caption.h"
#include "caption/picture_caption.h"
#include "display/frame_composition.h"
#include "display/notice.h"
#include "media/caption_choice.h"
#include "media/caption_discovery.h"
#include "media/caption_look.h"
#include "media/caption_sync_jobs.h"
#include "media/media_stream.h"
#include "media/movie_list.h"
#include "media/movie_session.h"
#include "media/movie_start.h"
#include "media/picture_reading.h"
#include "stream_setup.h"
#include "support/run_ffmpeg.h"
#include "support/scripted_chooser.h"
#include "text_caption_pictures.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace sublumen;

namespace {

const std::vector<fixtures::TextCaption> korean = {
    { 200, 2000, "괜찮아, 내가 다 알아서 할게." },
    { 2100, 2900, "지금 몇 시예요?" },
};
const std::vector<fixtures::TextCaption> english = {
    { 200, 2000, "Where were you last night?" },
};

class PictureReading : public stream_setup::DisplayTest {
protected:
    void TearDown() override
    {
        closeMovie(sys);
        sys.movie.movieList.reset();
        DisplayTest::TearDown();
    }

    // Lets the player take what its reader has read until every caption of track has its text. The reader
    // works at the lowest priority: on a busy machine that may take long.
    bool readWhole(Caption& track)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(10);
        for (;;) {
            followPictureReading(sys);
            const auto& entries = track.pictures->entries();
            if (std::all_of(entries.begin(), entries.end(), [](const auto& e) { return e.text || e.picture->bitmaps.empty(); }))
                return true;
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // Yellow (the captions as authored) and white (our caption style) pixels below the movie's frame
    // numbers: the caption band over the grey foot of the picture and the border under it.
    std::pair<int, int> yellowAndWhite()
    {
        const platform::Surface& shown = *sys.displays.backSurface()->surface->pixels();
        int yellow = 0, white = 0;
        for (int y = 376; y < shown.height; ++y)
            for (int x = 0; x < shown.width; ++x) {
                int r, g, b;
                platform::readRgb(shown, x, y, r, g, b);
                yellow += r > 200 && g > 200 && b < 90;
                white += r > 240 && g > 240 && b > 240;
            }
        return { yellow, white };
    }

    testing_support::EnvironmentOverride state { "XDG_STATE_HOME", dir.file("state") };
};

}

TEST_F(PictureReading, ReadAsTextTheyAreCaptionsForEveryTool)
{
    fixtures::MovieRecipe recipe;
    recipe.width = 480;
    recipe.height = 270;
    recipe.frameCount = 30;
    const std::string movie = dir.file("movie.avi");
    ASSERT_EQ(fixtures::writeMovie(movie, recipe), "");
    fixtures::TextPictureRecipe pictures;
    pictures.rgb = 0xFFFF00;
    ASSERT_EQ(fixtures::writeTextCaptionPictures(dir.file("movie.sup"), pictures, korean), "");
    ASSERT_EQ(fixtures::writeTextCaptionPictures(dir.file("movie.en.sup"), pictures, english), "");

    boundedCopy(sys.startup.startPath, movie.c_str(), sizeof sys.startup.startPath);
    sys.settings.asksmi = 0;
    ASSERT_EQ(buildMovieList(sys), 0);
    ASSERT_EQ(startMovie(sys, 0), 0);
    // Paused while it reads, so that the play is where the test puts it.
    setMoviePlaying(sys, 0);
    Caption* first = sys.movie.currentCaption.get();
    ASSERT_TRUE(first && first->pictures) << sys.movie.currentItem.caption;
    // The second caption: the English file, chosen as Shift+Y does.
    cycleSecondCaption(sys);
    Caption* second = sys.movie.secondCaption.get();
    ASSERT_TRUE(second && second->pictures) << sys.movie.secondName;

    ASSERT_TRUE(readWhole(*first) && readWhole(*second)) << "not read in ten minutes";
    std::string why;
    if (first->pictures->reading->unreadable(&why))
        GTEST_SKIP() << why;
    for (const fixtures::TextCaption& c : korean)
        EXPECT_EQ(first->pictures->entryAt(c.startMs)->text.value_or("?"), c.text);
    EXPECT_EQ(second->pictures->entryAt(200)->text.value_or("?"), english[0].text);
    // The text is the track's: the stepping keys find the second caption, the second caption shows its
    // line as text.
    uint32_t next = 0;
    ASSERT_TRUE(first->captionStart(500, CaptionStep::Next, next));
    EXPECT_EQ(next, 2100u);
    const std::string* shown = second->shownTextAt(500);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(*shown, english[0].text);

    // Paused on the first caption: as authored its picture is shown, yellow; V shows the text read in our
    // style, white, and the picture no more.
    seekMovie(sys, 600);
    for (int i = 0; i < 500 && pictureAwaited(sys); ++i) {
        renderFrame(sys);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(pictureAwaited(sys));
    renderFrame(sys);
    ASSERT_EQ(sys.movie.currentStream->currentTime(), 600u);
    EXPECT_TRUE(authoredCaptionsShown(sys));
    auto [yellow, white] = yellowAndWhite();
    EXPECT_GT(yellow, 50);
    switchCaptionLook(sys);
    EXPECT_FALSE(authoredCaptionsShown(sys));
    renderFrame(sys);
    std::tie(yellow, white) = yellowAndWhite();
    EXPECT_EQ(yellow, 0);
    EXPECT_GT(white, 50);

    // F6 saves the text read as a SubRip file beside the movie; the pictures stay as they are.
    saveShownCaptions(sys);
    EXPECT_EQ(noticeText(sys), "자막 저장: movie.srt");
    const std::string saved = testing_support::readFile(dir.file("movie.srt"));
    const size_t firstLine = saved.find("00:00:00,200 --> 00:00:02,000\n" + korean[0].text + "\n");
    const size_t secondLine = saved.find("00:00:02,100 --> 00:00:02,900\n" + korean[1].text + "\n");
    EXPECT_NE(firstLine, std::string::npos) << saved;
    EXPECT_NE(secondLine, std::string::npos) << saved;
    EXPECT_LT(firstLine, secondLine) << saved;
    EXPECT_TRUE(std::filesystem::exists(dir.file("movie.sup")));
}

// A PGS stream inside the movie is read ahead of the play: a caption a minute past where the movie stands
// paused is in the track, read, though the movie's own reading stops a few seconds ahead.
TEST_F(PictureReading, AStreamIsReadAheadOfThePlay)
{
    fixtures::MovieRecipe recipe;
    recipe.frameCount = 700;
    const std::string plain = dir.file("plain.avi");
    ASSERT_EQ(fixtures::writeMovie(plain, recipe), "");
    std::vector<fixtures::TextCaption> captions = korean;
    captions.push_back({ 60000, 61000, "여기서 기다리고 있을게요." });
    const fixtures::TextPictureRecipe pictures;
    ASSERT_EQ(fixtures::writeTextCaptionPictures(dir.file("plain.sup"), pictures, captions), "");
    const std::string movie = dir.file("movie.mkv");
    ASSERT_TRUE(testing_support::runFfmpeg({ "-copyts", "-i", plain, "-i", dir.file("plain.sup"), "-map", "0", "-map",
        "1", "-c", "copy", "-metadata:s:s:0", "language=kor", movie }));

    boundedCopy(sys.startup.startPath, movie.c_str(), sizeof sys.startup.startPath);
    sys.settings.asksmi = 0;
    ASSERT_EQ(buildMovieList(sys), 0);
    ASSERT_EQ(startMovie(sys, 0), 0);
    setMoviePlaying(sys, 0);
    Caption* first = sys.movie.currentCaption.get();
    ASSERT_TRUE(first && first->pictures) << sys.movie.currentItem.caption;
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    const PictureCaption::Entry* late = nullptr;
    while (!(late && late->text) && std::chrono::steady_clock::now() < until) {
        followPictureReading(sys);
        late = first->pictures->entryAt(60000);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_NE(late, nullptr);
    std::string why;
    if (first->pictures->reading->unreadable(&why))
        GTEST_SKIP() << why;
    EXPECT_EQ(late->text.value_or("?"), captions.back().text);
    const std::string* shown = first->shownTextAt(60500);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(*shown, captions.back().text);
}

TEST_F(PictureReading, WithoutTheReadersDataTheyStayPicturesAndThePlayerSaysSoOnce)
{
    testing_support::EnvironmentOverride data("TESSDATA_PREFIX", dir.file("nothing"));
    fixtures::MovieRecipe recipe;
    const std::string movie = dir.file("movie.avi");
    ASSERT_EQ(fixtures::writeMovie(movie, recipe), "");
    const fixtures::TextPictureRecipe pictures;
    ASSERT_EQ(fixtures::writeTextCaptionPictures(dir.file("movie.sup"), pictures, korean), "");
    boundedCopy(sys.startup.startPath, movie.c_str(), sizeof sys.startup.startPath);
    sys.settings.asksmi = 0;
    ASSERT_EQ(buildMovieList(sys), 0);
    ASSERT_EQ(startMovie(sys, 0), 0);
    Caption* first = sys.movie.currentCaption.get();
    ASSERT_TRUE(first && first->pictures);
    for (int i = 0; i < 500 && !sys.movie.pictureReadingFailed; ++i) {
        followPictureReading(sys);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(sys.movie.pictureReadingFailed);
    EXPECT_EQ(noticeText(sys), "그림 자막을 글자로 읽을 수 없음");
    // Said once, whatever comes after: another movie, another track.
    openCaptionFile(sys, dir.file("movie.sup").c_str());
    followPictureReading(sys);
    followPictureReading(sys);
    const std::string text = log.text();
    const std::string line = "Picture captions cannot be read as text";
    EXPECT_EQ(text.find(line), text.rfind(line)) << text;
    EXPECT_NE(text.find(line), std::string::npos) << text;
    EXPECT_FALSE(sys.movie.currentCaption->pictures->entries().front().text);
}

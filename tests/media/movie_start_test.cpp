// startMovie on a real Display: the list cursor, the results and their log lines, the state each
// leaves behind, and the decoder module moved aside around the creation of every stream.
#include "app/main_loop.h"
#include "caption/caption.h"
#include "app/path_text.h"
#include "media/caption_discovery.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "media/movie_list.h"
#include "media/movie_memory.h"
#include "media/movie_start.h"
#include "stream_setup.h"
#include "support/scripted_chooser.h"
#include "support/scripted_media_backend.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <memory>
#include <string>
#include <thread>

using sublumen::MediaStream;
using sublumen::startMovie;
using testing_support::MediaScript;
using testing_support::ScriptedBackendScope;

namespace {

class MovieStart : public stream_setup::DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        sys.playback.isPlaying = 5;
        sys.composition.stallLimit = 12;
        sys.composition.stallCount = 7;
        newLog();
    }
    void TearDown() override
    {
        sublumen::closeMovie(sys);
        unsetenv("SUBLUMEN_SYSTEM_DIR");
        DisplayTest::TearDown();
    }
    void add(const std::string& title, const std::string& movie, const std::string& caption = "", int32_t shift = 0)
    {
        ASSERT_EQ(list.addItem(title.c_str(), movie.c_str(), caption.c_str(), shift), 0);
        list.rewind();
    }
    // The log written since the last call.
    std::string newLog()
    {
        std::string text = log.text();
        std::string fresh = text.substr(seen);
        seen = text.size();
        return fresh;
    }

    // The movie list is the system's own, as the player's is; list names it.
    sublumen::MovieList& list = *(sys.movie.movieList = std::make_unique<sublumen::MovieList>());
    std::size_t seen = 0;
};

class ScriptedMovieStart : public MovieStart {
protected:
    std::shared_ptr<MediaScript> script = std::make_shared<MediaScript>();
    ScriptedBackendScope scope { script };
};

TEST_F(ScriptedMovieStart, TheUsersShiftIsBackWhenTheSameMovieStartsAgainAndADamagedMemoryIsSetAside)
{
    testing_support::EnvironmentOverride state { "XDG_STATE_HOME", dir.file("state") };
    const std::string memory = dir.file("state/sublumen/movies");
    const std::string one = dir.write("one.avi", "scripted"), two = dir.write("two.avi", "scripted");
    add("One", one, "", 7);
    add("Two", two);
    ASSERT_EQ(startMovie(sys, 0), 0);
    sys.movie.currentItem.timeshift += 1000;  // K
    ASSERT_EQ(startMovie(sys, 1), 0);
    EXPECT_EQ(testing_support::readFile(memory), "# sublumen movies 1\n1000\t\t" + one + "\n");
    EXPECT_EQ(sys.movie.currentItem.timeshift, 0) << "another movie keeps its own shift";
    newLog();
    ASSERT_EQ(startMovie(sys, -1), 0);
    EXPECT_EQ(sys.movie.currentItem.timeshift, 1007) << "the list's shift and the user's own";
    EXPECT_NE(newLog().find("Movie memory: shift 1000 restored.\n"), std::string::npos);

    sys.movie.currentItem.timeshift -= 1000;  // J
    dir.write("state/sublumen/movies", "# sublumen movies 1\n1000\tx\tnot a field\t/x\n");
    ASSERT_EQ(startMovie(sys, 0), 0);
    EXPECT_EQ(sys.movie.currentItem.timeshift, 7);
    EXPECT_NE(newLog().find("Movie memory: " + memory + " is damaged; set aside as " + memory + ".unusable.\n"),
        std::string::npos);
    EXPECT_EQ(testing_support::readFile(memory + ".unusable"), "# sublumen movies 1\n1000\tx\tnot a field\t/x\n");
}

// Two lines for one movie (two players saved, a hand edit) do not add up: the later line counts, and the
// movie's next save leaves one line for it. Named fields of other features come back and are written again.
TEST_F(ScriptedMovieStart, OfDuplicateMemoryLinesTheLastCountsAndIsSavedAlone)
{
    testing_support::EnvironmentOverride state { "XDG_STATE_HOME", dir.file("state") };
    const std::string one = dir.write("one.avi", "scripted"), two = dir.write("two.avi", "scripted");
    const std::string memory = dir.write(
        "state/sublumen/movies", "# sublumen movies 1\n2000\t\t" + one + "\n100\t\ta=1\t" + two + "\n500\t\t" + one + "\n");
    add("One", one, "", 7);
    add("Two", two);
    ASSERT_EQ(startMovie(sys, 0), 0);
    EXPECT_EQ(sys.movie.currentItem.timeshift, 507);
    std::string text = newLog();
    EXPECT_NE(
        text.find("Movie memory: 2 lines for " + one + "; the last one is used.\nMovie memory: shift 500 restored.\n"),
        std::string::npos)
        << text;
    EXPECT_EQ(text.find("shift 2000"), std::string::npos);
    ASSERT_EQ(startMovie(sys, 1), 0);
    EXPECT_EQ(sys.movie.currentItem.timeshift, 100);
    EXPECT_EQ((sys.movie.memoryFields == std::map<std::string, std::string> { { "a", "1" } }), true);
    sys.movie.memoryFields["b_2"] = "x=y";
    EXPECT_EQ(testing_support::readFile(memory), "# sublumen movies 1\n100\t\ta=1\t" + two + "\n500\t\t" + one + "\n");
    ASSERT_EQ(startMovie(sys, -1), 0);
    EXPECT_TRUE(sys.movie.memoryFields.empty());
    EXPECT_EQ(testing_support::readFile(memory),
        "# sublumen movies 1\n500\t\t" + one + "\n100\t\ta=1\tb_2=x=y\t" + two + "\n");
}

// A movie goes on where it was left, unless that is near either end (the file may be shorter now) or
// the setting is off; one played to its end starts over. The position is saved every 10 s while playing.
TEST_F(ScriptedMovieStart, AMovieResumesAtItsRememberedPositionWithinItsMiddle)
{
    using std::chrono::milliseconds;
    testing_support::EnvironmentOverride state { "XDG_STATE_HOME", dir.file("state") };
    const std::string one = dir.write("one.avi", "scripted"), two = dir.write("two.avi", "scripted");
    const std::string memory = dir.write("state/sublumen/movies",
        "# sublumen movies 1\n0\t\tposition=90000\t" + one + "\n0\t\tother=2\tposition=115000\t" + two + "\n");
    add("One", one);
    add("Two", two);
    ASSERT_EQ(startMovie(sys, 0), 0);
    ASSERT_EQ(script->seeks.size(), 1u);
    EXPECT_EQ(script->seeks.back(), milliseconds(90000));
    EXPECT_EQ(sys.movie.resumedAt, 90000u);
    EXPECT_NE(newLog().find("Movie memory: resuming at 90000.\n"), std::string::npos);

    // Every 10 s of playing, not sooner; the file is rewritten with the movie's position.
    sys.playback.isPlaying = 1;
    script->time = milliseconds(95000);
    sublumen::saveMoviePosition(sys, sys.movie.positionSavedAt + 9999);
    EXPECT_EQ(testing_support::readFile(memory).find("position=95000"), std::string::npos);
    sublumen::saveMoviePosition(sys, sys.movie.positionSavedAt + 10000);
    EXPECT_NE(testing_support::readFile(memory).find("0\t\tposition=95000\t" + one + "\n"), std::string::npos);

    // 115 s is within the last 5 % of 120 s: from 0, and the other fields stay.
    script->time = milliseconds(100000);
    ASSERT_EQ(startMovie(sys, 1), 0);
    EXPECT_EQ(script->seeks.size(), 1u);
    EXPECT_EQ(sys.movie.resumedAt, 0u);
    EXPECT_NE(newLog().find("Movie memory: position 115000 is outside the movie's 120000 ms; starting at 0.\n"),
        std::string::npos);
    EXPECT_EQ((sys.movie.memoryFields == std::map<std::string, std::string> { { "other", "2" } }), true);

    // Played to its end: forgotten. The other one resumes where it was closed.
    sys.movie.currentStream->ended = 1;
    ASSERT_EQ(startMovie(sys, -1), 0);
    EXPECT_EQ(testing_support::readFile(memory),
        "# sublumen movies 1\n0\t\tposition=100000\t" + one + "\n0\t\tother=2\t" + two + "\n");
    EXPECT_EQ(script->seeks.back(), milliseconds(100000));

    // A position in the first 30 s is not kept; with the setting off nothing is resumed.
    script->time = milliseconds(29999);
    sys.settings.resume = 0;
    ASSERT_EQ(startMovie(sys, 0), 0);
    EXPECT_EQ(testing_support::readFile(memory).find("position=29999"), std::string::npos);
    EXPECT_EQ(sys.movie.resumedAt, 0u);
    EXPECT_EQ(script->seeks.size(), 2u);
}

// A list goes on at the movie that was playing, and after the one that played to its end; past its last
// movie, or with fewer items than remembered, it starts at its first.
TEST_F(ScriptedMovieStart, AListGoesOnAtTheMovieThatWasPlaying)
{
    testing_support::EnvironmentOverride state { "XDG_STATE_HOME", dir.file("state") };
    dir.write("a.avi", "scripted");
    dir.write("b.avi", "scripted");
    dir.write("c.avi", "scripted");
    const std::string listFile = dir.write("l.ml", "a.avi\nb.avi\nc.avi\n");
    const std::string memory = dir.write("state/sublumen/movies", "# sublumen movies 1\n0\t\titem=2\t" + listFile + "\n");
    sys.movie.movieList.reset();
    sublumen::boundedCopy(sys.startup.startPath, listFile.c_str(), sizeof sys.startup.startPath);
    auto build = [&] {
        ASSERT_EQ(sublumen::buildMovieList(sys), 0);
        ASSERT_NE(sys.movie.movieList->cursorItem(), nullptr);
    };
    build();
    EXPECT_STREQ(sys.movie.movieList->cursorItem()->movie, dir.file("b.avi").c_str());
    EXPECT_NE(newLog().find("Movie memory: " + listFile + " goes on at item 2.\n"), std::string::npos);
    ASSERT_EQ(startMovie(sys, 0), 0);
    sys.movie.currentStream->ended = 1;
    ASSERT_EQ(startMovie(sys, 1), 0);
    EXPECT_NE(testing_support::readFile(memory).find("0\t\titem=3\t" + listFile + "\n"), std::string::npos);
    sys.movie.currentStream->ended = 1;
    sublumen::closeMovie(sys);
    EXPECT_EQ(testing_support::readFile(memory).find(listFile), std::string::npos);

    dir.write("state/sublumen/movies", "# sublumen movies 1\n0\t\titem=7\t" + listFile + "\n");
    build();
    EXPECT_STREQ(sys.movie.movieList->cursorItem()->movie, dir.file("a.avi").c_str());
    EXPECT_NE(newLog().find("Movie memory: " + listFile + " has no item 7; the list starts at its first.\n"),
        std::string::npos);
}

// Players saving at the same moment each read, change and replace the one file under its lock: no
// entry is lost.
TEST(MovieMemory, SavesAtOnceKeepEveryEntry)
{
    testing_support::ScratchDir scratch;
    const std::string memory = scratch.file("movies");
    std::vector<std::thread> players;
    for (int player = 0; player < 4; ++player) {
        players.emplace_back([&, player] {
            for (int save = 0; save < 25; ++save) {
                sublumen::MovieMemoryEntry entry;
                entry.path = "/movie" + std::to_string(player) + "-" + std::to_string(save);
                entry.fields["position"] = "60000";
                sublumen::storeMovieMemory(memory, { entry }, sublumen::Durability::Unsynced);
            }
        });
    }
    for (std::thread& player : players)
        player.join();
    EXPECT_EQ(sublumen::readMovieMemory(memory).size(), 100u);
}

TEST_F(ScriptedMovieStart, StartsTheEntryRunningWithItsPlacementAndFreshStallCounters)
{
    script->properties.width = 64;
    script->properties.height = 32;
    add("First", "one.avi", "", 7);
    ASSERT_EQ(startMovie(sys, 0), 0);
    EXPECT_STREQ(sys.movie.currentItem.title, "First");
    EXPECT_EQ(sys.movie.currentItem.timeshift, 7);
    ASSERT_NE(sys.movie.currentStream, nullptr);
    EXPECT_EQ(script->openedPath, "one.avi");
    EXPECT_TRUE(script->running);
    EXPECT_EQ(sys.movie.movieDuration, 120000u);
    EXPECT_EQ(sys.playback.isPlaying, 1);
    EXPECT_EQ(sys.composition.stallLimit, 24);
    EXPECT_EQ(sys.composition.stallCount, 0);
    // A 2:1 picture letter-boxed on 640 × 480.
    EXPECT_EQ(sys.videoPlacement.dstY, 80);
    EXPECT_EQ(sys.videoPlacement.dstHeight, 320);
    EXPECT_EQ(sys.videoPlacement.srcWidth, 64);
    std::string text = newLog();
    EXPECT_TRUE(std::regex_search(text, std::regex("Play\\[First/one.avi//7\\]\n(.*\n)*xmmstream=0x[0-9A-F]+, error=0\n")))
        << text;
}

TEST_F(ScriptedMovieStart, StepsTheCursorOffTheEndAndBackFromIt)
{
    add("A", "a.avi");
    add("B", "b.avi");
    add("C", "c.avi");
    list.rewind();
    struct Step {
        int32_t step;
        int result;
        const char* movie;  // the entry started, or the one still in currentItem
    };
    auto walk = [&](std::initializer_list<Step> steps) {
        for (const Step& s : steps) {
            SCOPED_TRACE(std::to_string(s.step) + " to " + s.movie);
            script->openedPath.clear();
            EXPECT_EQ(startMovie(sys, s.step), s.result);
            EXPECT_STREQ(sys.movie.currentItem.movie, s.movie);
            std::string text = newLog();
            if (s.result == 0) {
                EXPECT_EQ(script->openedPath, s.movie);
                EXPECT_NE(sys.movie.currentStream, nullptr);
            } else {
                // No entry: nothing opened, nothing left playing.
                EXPECT_EQ(text, "No more Movie File to Play.\n");
                EXPECT_TRUE(script->openedPath.empty());
                EXPECT_EQ(sys.movie.currentStream, nullptr);
                EXPECT_EQ(sys.movie.currentCaption, nullptr);
                EXPECT_EQ(sys.movie.movieDuration, 0u);
            }
        }
    };
    // Forward past the last movie the list has ended, however often it is asked; one step back from
    // there is the last movie.
    walk({ { 0, 0, "a.avi" }, { 2, 0, "c.avi" }, { 1, -1, "c.avi" }, { 1, -1, "c.avi" }, { 0, -1, "c.avi" },
        { -1, 0, "c.avi" }, { 1, -1, "c.avi" }, { -2, 0, "b.avi" } });
    // Back from the first movie starts it again.
    list.rewind();
    walk({ { 1, 0, "b.avi" }, { -1, 0, "a.avi" }, { 0, 0, "a.avi" }, { -1, 0, "a.avi" }, { -5, 0, "a.avi" } });
    // A huge step ends at either end of the list.
    list.rewind();
    walk({ { INT32_MAX, -1, "a.avi" }, { INT32_MIN, 0, "a.avi" } });
}

TEST_F(ScriptedMovieStart, WithoutAListThereIsNoEntry)
{
    sys.movie.movieList.reset();
    EXPECT_EQ(startMovie(sys, 0), -1);
    EXPECT_EQ(newLog(), "No more Movie File to Play.\n");
}

TEST_F(ScriptedMovieStart, ANewStartReleasesTheOldStreamAndCaption)
{
    std::string sami = dir.write("a.smi", "<SAMI><BODY><SYNC Start=0><P Class=KRCC>hello</SAMI>");
    add("A", "a.avi", sami);
    ASSERT_EQ(startMovie(sys, 0), 0);
    ASSERT_NE(sys.movie.currentCaption, nullptr);
    EXPECT_FALSE(script->destroyed);
    EXPECT_EQ(startMovie(sys, 1), -1);
    EXPECT_TRUE(script->destroyed);
    EXPECT_EQ(sys.movie.currentStream, nullptr);
    EXPECT_EQ(sys.movie.currentCaption, nullptr);
}

TEST_F(ScriptedMovieStart, ZeroDurationLeavesTheOpenStreamStopped)
{
    script->properties.duration = platform::MediaTime(0);
    add("Empty", "empty.avi");
    EXPECT_EQ(startMovie(sys, 0), -4);
    EXPECT_NE(newLog().find(", error=0\nVideo Empty.\n"), std::string::npos);
    ASSERT_NE(sys.movie.currentStream, nullptr);
    EXPECT_NE(sys.movie.currentStream->stream, nullptr);
    EXPECT_EQ(script->runCalls, 0);
    EXPECT_EQ(sys.movie.movieDuration, 0u);
    EXPECT_EQ(sys.movie.currentCaption, nullptr);
    EXPECT_EQ(sys.playback.isPlaying, 5);
}

// A movie, and sound alone, which is placed and shown as a black 640x480 picture.
TEST_F(MovieStart, RealMovieStartsAndPlays)
{
    struct Case {
        std::string movie;
        int32_t srcWidth;
    } cases[] = {
        { stream_setup::Movies::get().avi(), 176 },
        { stream_setup::Movies::get().audioOnly, 640 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.movie);
        list.clearList();
        add("Real", c.movie);
        ASSERT_EQ(startMovie(sys, 0), 0);
        MediaStream& stream = *sys.movie.currentStream;
        EXPECT_NEAR(static_cast<double>(sys.movie.movieDuration), 3000.0, 150.0);
        EXPECT_EQ(stream.getState(), 1);
        EXPECT_EQ(sys.videoPlacement.dstWidth, 640);
        EXPECT_EQ(sys.videoPlacement.srcWidth, c.srcWidth);
        int rc = 1;
        for (int i = 0; i < 40 && rc != 0; ++i)
            rc = stream.update();
        EXPECT_EQ(rc, 0);
    }
}

TEST_F(MovieStart, AMovieCutWhileItPlaysEndsWhereItsFileEndsAndTheNextStarts)
{
    // 20 s announced; once it plays, the file is cut to a quarter, about 5 s of it.
    fixtures::MovieRecipe recipe;
    recipe.frameCount = 200;
    std::string cut = dir.file("cut.avi");
    ASSERT_EQ(fixtures::writeMovie(cut, recipe), "");
    ASSERT_EQ(list.addItem("Cut", cut.c_str(), "", 0), 0);
    add("Next", stream_setup::Movies::get().avi());
    ASSERT_EQ(startMovie(sys, 0), 0);
    EXPECT_NEAR(static_cast<double>(sys.movie.movieDuration), 20000.0, 150.0);
    for (int i = 0; i < 400 && sys.movie.currentStream->currentTime() < 1000; ++i)
        sublumen::idleTurn(sys);
    ASSERT_GE(sys.movie.currentStream->currentTime(), 1000u);
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 4);

    for (int i = 0; i < 3000 && log.text().find("Play[Next/") == std::string::npos; ++i)
        sublumen::idleTurn(sys);
    std::string text = newLog();
    ASSERT_NE(text.find("Play[Next/"), std::string::npos) << text;
    // One end, where the data stopped; no creeping through the rest of the announced length.
    std::size_t at = text.find("MS_S_ENDOFSTREAM at ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_LT(std::stoul(text.substr(at + 20)), 10000u) << text;
    EXPECT_EQ(text.find(">> Error Detected"), std::string::npos) << text;
    EXPECT_EQ(sys.movie.currentStream->ended, 0);
    EXPECT_EQ(sys.playback.isPlaying, 1);
}

TEST_F(MovieStart, FilesThatCannotBePlayedFailWithTheStepInTheLog)
{
    auto& movies = stream_setup::Movies::get();
    std::string longPath = dir.path().string() + "/" + std::string(300 - dir.path().string().size() - 5, 'x') + ".avi";
    struct Case {
        std::string movie;
        int result;
        int step;
    } cases[] = {
        { dir.file("missing.avi"), -3, 6 },
        { movies.text, -3, 6 },
        // A long path reaches the file system, which finds no such file.
        { longPath, -3, 6 },
        // An item without a movie path names nothing to open.
        { "", -3, 5 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.movie);
        list.clearList();
        add("Bad", c.movie);
        EXPECT_EQ(startMovie(sys, 0), c.result);
        std::string text = newLog();
        std::string step = std::to_string(c.step);
        EXPECT_TRUE(std::regex_search(
            text, std::regex("xmmstream=0x[0-9A-F]+, error=" + step + "\nVideo Load Fail : error=" + step + "\n$")))
            << text;
        // The object stays, without a stream; nothing plays.
        ASSERT_NE(sys.movie.currentStream, nullptr);
        EXPECT_EQ(sys.movie.currentStream->stream, nullptr);
        EXPECT_EQ(sys.movie.currentStream->lastResult, c.step);
        EXPECT_EQ(sys.movie.movieDuration, 0u);
        EXPECT_EQ(sys.movie.currentCaption, nullptr);
        EXPECT_EQ(sys.playback.isPlaying, 5);
    }
}

// The decoder module as the engine sees it while a stream opens.
struct ModuleSeen {
    bool module = false;
    bool backup = false;
    int opens = 0;
};

class DecoderModule : public MovieStart {
protected:
    void SetUp() override
    {
        MovieStart::SetUp();
        systemDir = dir.path() / "system32";
        std::filesystem::create_directories(systemDir);
        module = (systemDir / "MPG4DMOD.DLL").string();
        backup = module + ".bak";
        auto script = std::make_shared<MediaScript>();
        previous = platform::setMediaBackendOpener(
            [this, script](const std::string&, const platform::OpenOptions&, platform::OpenError& error) {
                ++seen.opens;
                seen.module = std::filesystem::exists(module);
                seen.backup = std::filesystem::exists(backup);
                error = platform::OpenError::None;
                return std::unique_ptr<platform::MediaBackend>(std::make_unique<testing_support::ScriptedMediaBackend>(script));
            });
        add("Movie", "movie.avi");
    }
    void TearDown() override
    {
        platform::setMediaBackendOpener(std::move(previous));
        MovieStart::TearDown();
    }

    std::filesystem::path systemDir;
    std::string module, backup;
    ModuleSeen seen;
    platform::BackendOpener previous;
};

TEST_F(DecoderModule, IsAsideWhileTheStreamOpensAndBackAfterwards)
{
    dir.write("system32/MPG4DMOD.DLL", "decoder module");
    setenv("SUBLUMEN_SYSTEM_DIR", systemDir.c_str(), 1);
    ASSERT_EQ(startMovie(sys, 0), 0);
    EXPECT_EQ(seen.opens, 1);
    EXPECT_FALSE(seen.module);
    EXPECT_TRUE(seen.backup);
    EXPECT_EQ(testing_support::readFile(module), "decoder module");
    EXPECT_FALSE(std::filesystem::exists(backup));
}

TEST_F(DecoderModule, AnExistingBackupIsNeverOverwritten)
{
    dir.write("system32/MPG4DMOD.DLL", "decoder module");
    dir.write("system32/MPG4DMOD.DLL.bak", "older backup");
    setenv("SUBLUMEN_SYSTEM_DIR", systemDir.c_str(), 1);
    ASSERT_EQ(startMovie(sys, 0), 0);
    // Neither rename can be done, so both files stay as they were and the movie starts all the same.
    EXPECT_TRUE(seen.module);
    EXPECT_EQ(testing_support::readFile(module), "decoder module");
    EXPECT_EQ(testing_support::readFile(backup), "older backup");
}

TEST_F(DecoderModule, NothingHappensWithoutTheModuleOrTheDirectory)
{
    // A system directory without the module: nothing is made.
    setenv("SUBLUMEN_SYSTEM_DIR", systemDir.c_str(), 1);
    ASSERT_EQ(startMovie(sys, 0), 0);
    EXPECT_TRUE(std::filesystem::is_empty(systemDir));

    // No system directory: a module lying anywhere is left alone.
    dir.write("system32/MPG4DMOD.DLL", "decoder module");
    for (const char* value : { static_cast<const char*>(nullptr), "" }) {
        if (value)
            setenv("SUBLUMEN_SYSTEM_DIR", value, 1);
        else
            unsetenv("SUBLUMEN_SYSTEM_DIR");
        ASSERT_EQ(startMovie(sys, 0), 0);
        EXPECT_TRUE(seen.module);
        EXPECT_FALSE(seen.backup);
    }
    EXPECT_EQ(seen.opens, 3);
}

TEST_F(DecoderModule, IsBackAfterAFailedOpen)
{
    dir.write("system32/MPG4DMOD.DLL", "decoder module");
    setenv("SUBLUMEN_SYSTEM_DIR", systemDir.c_str(), 1);
    platform::setMediaBackendOpener([this](const std::string&, const platform::OpenOptions&, platform::OpenError& error) {
        seen.module = std::filesystem::exists(module);
        error = platform::OpenError::UnknownFormat;
        return std::unique_ptr<platform::MediaBackend>();
    });
    EXPECT_EQ(startMovie(sys, 0), -3);
    EXPECT_FALSE(seen.module);
    EXPECT_EQ(testing_support::readFile(module), "decoder module");
    EXPECT_FALSE(std::filesystem::exists(backup));
}

}

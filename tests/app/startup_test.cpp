#include "app/debug_log.h"
#include "app/main_loop.h"
#include "app/path_text.h"
#include "app/startup.h"
#include "app/system.h"
#include "display/display.h"
#include "media/movie_list.h"
#include "platform/ddraw/display_driver.h"
#include "platform/kernel.h"
#include "platform/window/window.h"
#include "support/scripted_chooser.h"
#include "support/test_files.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>

using namespace sublumen;
using namespace testing_support;

namespace {

// The command-line tail as it reaches startPath, without touching any file.
struct TailCase {
    const char* name;
    std::string tail;
    bool filled;
    std::string startPath;
};

class CommandTail : public ::testing::TestWithParam<TailCase> { };

TEST_P(CommandTail, BecomesTheStartPath)
{
    const TailCase& c = GetParam();
    char startPath[1024] = "untouched";
    EXPECT_EQ(startPathFromTail(c.tail.c_str(), startPath), c.filled);
    EXPECT_EQ(std::string(startPath), c.startPath);
}

INSTANTIATE_TEST_SUITE_P(Rules, CommandTail,
    ::testing::Values(TailCase { "Plain", "/movies/a.avi", true, "/movies/a.avi" },
        TailCase { "BlanksArePartOfThePath", "/my movies/a b.avi", true, "/my movies/a b.avi" },
        TailCase { "QuotedWithBlanks", "\"/my movies/a b.avi\"", true, "/my movies/a b.avi" },
        TailCase { "UnterminatedQuoteKept", "\"/my movies/a.avi", true, "\"/my movies/a.avi" },
        TailCase { "QuoteInsideNotAtTheEnd", "\"a\".avi", true, "\"a\".avi" },
        TailCase { "TwoQuotesOnly", "\"\"", true, "" },
        TailCase { "LoneQuoteKept", "\"", true, "\"" },
        TailCase { "EmptyAsksTheDialog", "", false, "untouched" },
        TailCase { "LongPathCutTo1022", std::string(1500, 'x'), true, std::string(1022, 'x') },
        TailCase { "LongQuotedPathCutWithoutLosingMore", "\"" + std::string(1500, 'y') + "\"", true,
            std::string(1022, 'y') }),
    [](const auto& info) { return std::string(info.param.name); });

class FoundName : public ::testing::Test {
protected:
    ScratchDir dir;
    CurrentDirectoryGuard cwd;
};

TEST_F(FoundName, WildcardResolvesToTheFirstMatchInItsDirectory)
{
    dir.write("b.avi", "b");
    dir.write("a.avi", "a");
    dir.write("c.txt", "c");
    char path[1024];
    boundedCopy(path, dir.file("*.avi").c_str(), sizeof path);
    resolveFoundName(path);
    EXPECT_EQ(std::string(path), dir.file("a.avi"));
}

TEST_F(FoundName, BareNameStaysRelativeToTheCurrentDirectory)
{
    dir.write("movie one.avi", "m");
    std::filesystem::current_path(dir.path());
    char path[1024] = "movie*.avi";
    resolveFoundName(path);
    EXPECT_STREQ(path, "movie one.avi");
}

TEST_F(FoundName, NothingFoundLeavesThePathAlone)
{
    char path[1024];
    boundedCopy(path, dir.file("missing*.avi").c_str(), sizeof path);
    resolveFoundName(path);
    EXPECT_EQ(std::string(path), dir.file("missing*.avi"));
}

TEST_F(FoundName, LongPathsNeverOverrun)
{
    // Nest directories until the path is close to the buffer's limit.
    std::filesystem::path deep = dir.path();
    while (deep.string().size() < 880)
        deep /= std::string(100, 'd');
    std::filesystem::create_directories(deep);
    std::ofstream(deep / "short.avi") << "s";
    std::string longName = "x" + std::string(150, 'n') + ".avi";
    std::ofstream(deep / longName) << "x";
    ASSERT_GE((deep / longName).string().size(), 1024u);

    // A match that fits replaces the pattern.
    char fits[1024];
    boundedCopy(fits, (deep / "s*").string().c_str(), sizeof fits);
    resolveFoundName(fits);
    EXPECT_EQ(std::string(fits), (deep / "short.avi").string());

    // A match that would not fit leaves the pattern as it was.
    char tooLong[1024];
    boundedCopy(tooLong, (deep / "x*").string().c_str(), sizeof tooLong);
    resolveFoundName(tooLong);
    EXPECT_EQ(std::string(tooLong), (deep / "x*").string());

    // A 1022-character tail that names nothing stays as it came.
    std::string tail = (deep / std::string(1022 - deep.string().size() - 1, 'q')).string();
    ASSERT_EQ(tail.size(), 1022u);
    char full[1024];
    boundedCopy(full, tail.c_str(), sizeof full);
    resolveFoundName(full);
    EXPECT_EQ(std::string(full), tail);
}

// Only "*" and "?" are wildcards; release names with brackets, backslashes and other pattern
// characters name themselves.
TEST_F(FoundName, OnlyStarAndQuestionMarkAreWildcards)
{
    for (const char* name : { "x1.avi", "x[1].avi", "[Group] Title [1080p].avi", "Gx Title x.avi", "a\\b.avi",
             "ab.avi", "{a,b}.avi", ".hidden.avi", "영화 01.avi" })
        dir.write(std::string("films/") + name, "m");
    struct Row {
        const char* pattern;
        const char* found;  // none: the path stays as given
    } rows[] = {
        { "x[1].avi", "x[1].avi" },
        { "[Group] Title [1080p].avi", "[Group] Title [1080p].avi" },
        { "[Group]*", "[Group] Title [1080p].avi" },
        { "x[1]*", "x[1].avi" },
        { "x?.avi", "x1.avi" },
        { "a\\b.avi", "a\\b.avi" },
        { "a\\b*", "a\\b.avi" },
        { "{a,b}.avi", "{a,b}.avi" },
        { "*.avi", "Gx Title x.avi" },
        { ".hid*", ".hidden.avi" },
        { "영화*", "영화 01.avi" },
        { "x[!1].avi", nullptr },
        { "[GT]x*", nullptr },
        { "?", nullptr },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        char path[1024];
        boundedCopy(path, dir.file(std::string("films/") + row.pattern).c_str(), sizeof path);
        resolveFoundName(path);
        EXPECT_EQ(std::string(path), dir.file(std::string("films/") + (row.found ? row.found : row.pattern)));
    }
    // A file in the root keeps its root.
    char root[1024] = "/";
    resolveFoundName(root);
    EXPECT_STREQ(root, "/");
}

TEST(ProgramDir, IsTheDirectoryOfTheProgramFile)
{
    char buffer[1024] = ".";
    HINSTANCE module = platform::moduleInstance("/opt/sublumen/bin/sublumen");
    EXPECT_EQ(findProgramDir(module, buffer, 1023), static_cast<int>(std::strlen("/opt/sublumen/bin")));
    EXPECT_STREQ(buffer, "/opt/sublumen/bin");

    char plain[1024] = ".";
    EXPECT_EQ(findProgramDir(platform::moduleInstance("sublumen"), plain, 1023), 0);
    EXPECT_STREQ(plain, "");

    char unknown[1024] = ".";
    EXPECT_EQ(findProgramDir(platform::moduleInstance(""), unknown, 1023), 0);
    EXPECT_STREQ(unknown, ".");

    // The program running now lives in a directory that holds it.
    char own[1024] = ".";
    ASSERT_GT(findProgramDir(nullptr, own, 1023), 0);
    EXPECT_TRUE(std::filesystem::is_directory(own));
}

// The whole start-up with the program file in a scratch folder, so DEBUG.LOG and the settings are the
// test's own.
class StartUp : public ::testing::Test {
protected:
    void SetUp() override
    {
        drainMessages();
        std::filesystem::create_directories(programDir);
        platform::setLogSink([](const char* text) { debugLog("%s", text); });
        sys.playback.instance = platform::moduleInstance((programDir + "/sublumen").c_str());
    }
    void TearDown() override
    {
        deinitAll(sys);
        setLogFile(nullptr);
        platform::setLogSink(nullptr);
        platform::setDisplayDriver(nullptr);
        drainMessages();
    }

    // A movie-list file naming movies that are not there: start-up succeeds, playback does not start.
    std::string listOfMissingMovies(const std::string& name = "list.slm")
    {
        return dir.write(name, "@one\nmovie=gone1.avi\n@two\nmovie=gone2.avi\n");
    }
    std::string log() const { return readFile(programDir + "/DEBUG.LOG"); }
    std::string settingsText() const { return readFile(dir.file("config/sublumen/settings")); }
    void useWindowMode() { dir.write("config/sublumen/settings", "fullscreen dword 0\n"); }

    ScratchDir dir;
    CurrentDirectoryGuard cwd;
    EnvironmentOverride config { "XDG_CONFIG_HOME", dir.file("config") };
    EnvironmentOverride answer { "SUBLUMEN_MESSAGEBOX_ANSWER", "ok" };
    std::string programDir = dir.file("bin");
    System sys;
};

TEST_F(StartUp, MissingFileFailsTheAccessCheckAndEndsWithMinusOne)
{
    std::string missing = dir.file("no such movie.avi");
    EXPECT_EQ(winMain(sys, sys.playback.instance, missing.c_str()), -1);
    std::string text = log();
    EXPECT_NE(text.find("Command Line=" + missing + "\n"), std::string::npos);
    EXPECT_NE(text.find("Can't access THE File:" + missing + "\n"), std::string::npos);
    EXPECT_NE(text.find("MessageBox \"Can't access THE File\" answered OK"), std::string::npos);
    EXPECT_NE(text.find("Init Fail. End.\n>>> deinitAll()\n"), std::string::npos);
    // Settings are saved on the way out, failure or not.
    EXPECT_NE(settingsText().find("fullscreen dword 1\n"), std::string::npos);
}

TEST_F(StartUp, AccessCheckResults)
{
    std::string directory = dir.file("movies");
    std::filesystem::create_directories(directory);
    EXPECT_EQ(initAll(sys, directory.c_str()), -11) << "a directory is no file to play";
    deinitAll(sys);

    System second;
    second.playback.instance = sys.playback.instance;
    std::string list = listOfMissingMovies();
    // With its quote the path is a relative one, taken from the current directory.
    std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(initAll(second, ("\"" + list).c_str()), -11) << "an unterminated quote stays in the path";
    EXPECT_NE(log().find("Can't access THE File:" + here + "/\"" + list + "\n"), std::string::npos);
    deinitAll(second);
}

TEST_F(StartUp, UnreadableFileFailsTheAccessCheck)
{
    std::string list = listOfMissingMovies();
    ::chmod(list.c_str(), 0);
    if (::access(list.c_str(), R_OK) == 0)
        GTEST_SKIP() << "running with the right to read every file";
    EXPECT_EQ(initAll(sys, list.c_str()), -11);
}

TEST_F(StartUp, QuotedPathWithBlanksAndWildcardsReachTheMovieList)
{
    useWindowMode();
    std::string list = dir.write("my lists/two movies.slm", "@one\nmovie=gone.avi\n");
    EXPECT_EQ(initAll(sys, ("\"" + dir.file("my lists/two*.slm") + "\"").c_str()), 0);
    EXPECT_EQ(std::string(sys.startup.startPath), list);
    std::string text = log();
    EXPECT_EQ(text.rfind(">>> Sublumen #37", 0), 0u) << text;
    EXPECT_NE(text.find("Command Line=\"" + dir.file("my lists/two*.slm") + "\"\n"), std::string::npos);
    EXPECT_NE(text.find("MovieItem : one/"), std::string::npos);
    // The movie is missing: start-up still succeeds and leaves the program running without a movie.
    EXPECT_EQ(sys.movie.movieDuration, 0u);
    EXPECT_NE(sys.window.mainWindow, nullptr);
    EXPECT_NE(sys.displays.backSurface(), nullptr);
    EXPECT_NE(sys.startup.overlayFont, nullptr);
    EXPECT_NE(sys.startup.seekBarFont, nullptr);
    EXPECT_NE(sys.startup.captionFont, nullptr);
    EXPECT_NE(text.find("OverlaySupport=0\n"), std::string::npos);
    EXPECT_EQ(sys.playback.reinitRequest, 0);
}

TEST_F(StartUp, LogOfThePreviousRunIsDeletedFirst)
{
    useWindowMode();
    dir.write("bin/DEBUG.LOG", "a line of the previous run\n");
    ASSERT_EQ(initAll(sys, listOfMissingMovies().c_str()), 0);
    std::string text = log();
    EXPECT_EQ(text.find("previous run"), std::string::npos);
    EXPECT_EQ(text.rfind(">>> Sublumen #37", 0), 0u);
    // The lines written before the log file is set reach the debugger output only.
    EXPECT_EQ(text.find("PgmDir="), std::string::npos);
    EXPECT_EQ(std::string(sys.startup.programDir), programDir);
}

TEST_F(StartUp, WhatTheSettingsLoadSaidReachesTheLog)
{
    dir.write("config/sublumen/settings", "fullscreen dword 0\nfontsize dword big\n");
    ASSERT_EQ(initAll(sys, listOfMissingMovies().c_str()), 0);
    std::string text = log();
    EXPECT_EQ(text.rfind(">>> Sublumen #37", 0), 0u) << text;
    EXPECT_NE(text.find(" : initAll()\nRegistry: " + dir.file("config/sublumen/settings")
                  + " is ignored: line 2 is not a value.\nCommand Line="),
        std::string::npos)
        << text;
    EXPECT_EQ(text.find("PgmDir="), std::string::npos);
}

// A size read from a value of the wrong type (the text "800" as a number), or one no screen has: the player
// starts in 640 × 480 and saves that, so the next start is not locked out too.
TEST_F(StartUp, WindowSizeNoWindowCanTakeFallsBackAndIsNotSavedBack)
{
    for (const char* settings :
        { "fullscreen dword 0\nscreenx sz 800\n", "fullscreen dword 1\nscreenx dword 100000\nscreeny dword 100000\n" }) {
        dir.write("config/sublumen/settings", settings);
        System run;
        run.playback.instance = sys.playback.instance;
        EXPECT_EQ(initAll(run, listOfMissingMovies().c_str()), 0) << settings << log();
        EXPECT_EQ(run.settings.screenx, 640) << settings;
        EXPECT_EQ(run.settings.screeny, 480) << settings;
        deinitAll(run);
        EXPECT_NE(settingsText().find("screenx dword 640\n"), std::string::npos) << settings;
        EXPECT_NE(settingsText().find("screeny dword 480\n"), std::string::npos) << settings;
    }
}

// The first start, with no settings file, fills the desktop in its own mode at 32 bits, as key 9 would,
// and saves that; a start that finds a mode saved, the built-in 640x480 included, keeps it.
TEST_F(StartUp, FirstStartTakesTheDesktopsSizeAndLaterStartsKeepTheSavedMode)
{
    int width = 0, height = 0;
    ASSERT_TRUE(platform::desktopSize(nullptr, width, height));
    ASSERT_NE(width, 640);
    {
        System first;
        first.playback.instance = sys.playback.instance;
        ASSERT_EQ(initAll(first, listOfMissingMovies().c_str()), 0) << log();
        EXPECT_EQ(first.settings.screenx, width);
        EXPECT_EQ(first.settings.screeny, height);
        EXPECT_EQ(first.settings.bpp, 32);
        EXPECT_EQ(first.settings.fullscreen, 1);
        deinitAll(first);
    }
    EXPECT_NE(settingsText().find("screenx dword " + std::to_string(width) + "\n"), std::string::npos);
    EXPECT_NE(settingsText().find("bpp dword 32\n"), std::string::npos);
    dir.write("config/sublumen/settings", "screenx dword 640\nscreeny dword 480\nbpp dword 16\n");
    ASSERT_EQ(initAll(sys, listOfMissingMovies().c_str()), 0) << log();
    EXPECT_EQ(sys.settings.screenx, 640);
    EXPECT_EQ(sys.settings.screeny, 480);
    EXPECT_EQ(sys.settings.bpp, 16);
}

TEST_F(StartUp, CancelledDialogEndsWithMinusOneAndSavesSettings)
{
    ScriptedChooser chooser(dir, std::nullopt);
    EnvironmentOverride useChooser("SUBLUMEN_FILE_CHOOSER", chooser.program());
    dir.write("config/sublumen/settings", "fontsize dword 31\n");
    EXPECT_EQ(winMain(sys, sys.playback.instance, ""), -1);
    EXPECT_TRUE(chooser.wasRun());
    EXPECT_NE(settingsText().find("fontsize dword 31\n"), std::string::npos);
    EXPECT_NE(settingsText().find("fullscreen dword 1\n"), std::string::npos) << "every value is written";
    // Cancelled before the log was put in place: no log file of this run.
    EXPECT_FALSE(std::filesystem::exists(programDir + "/DEBUG.LOG"));
}

// A signal that asks the program to end while the caption question is up (before the window exists)
// closes the chooser and takes the normal end: logged, the settings saved.
TEST_F(StartUp, AnEndSignalDuringTheCaptionQuestionClosesItAndEndsNormally)
{
    const std::string movie = dir.write("alone.avi", "not much of a movie");
    for (int signal : { SIGTERM, SIGINT, SIGHUP }) {
        // As at a start before the window: nothing else would end the program on the signal.
        struct sigaction found {};
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        sigaction(signal, &byDefault, &found);
        const std::string survived = dir.file("survived");
        std::filesystem::remove(survived);
        const std::string chooser = dir.write("bin/asking", "#!/bin/sh\nkill -" + std::to_string(signal)
                + " $PPID\nsleep 20 >/dev/null 2>&1\n: > '" + survived + "'\n");
        ::chmod(chooser.c_str(), 0755);
        EnvironmentOverride useChooser("SUBLUMEN_FILE_CHOOSER", chooser);
        dir.write("config/sublumen/settings", "fullscreen dword 0\nasksmi dword 1\nfontsize dword 31\n");
        System run;
        run.playback.instance = sys.playback.instance;
        EXPECT_EQ(winMain(run, run.playback.instance, movie.c_str()), -1) << signal;
        sigaction(signal, &found, nullptr);
        EXPECT_FALSE(std::filesystem::exists(survived)) << signal << ": the chooser was left open";
        const std::string text = log();
        EXPECT_NE(text.find("the file chooser was closed: the program is asked to end"), std::string::npos) << text;
        EXPECT_NE(text.find("Start-up asked to end.\n"), std::string::npos) << text;
        EXPECT_NE(text.find(">>> deinitAll()\n"), std::string::npos) << text;
        EXPECT_NE(settingsText().find("fontsize dword 31\n"), std::string::npos);
        EXPECT_EQ(run.window.mainWindow, nullptr);
    }
}

TEST_F(StartUp, ChosenFileBecomesTheStartPath)
{
    useWindowMode();
    std::string list = listOfMissingMovies();
    ScriptedChooser chooser(dir, list);
    EnvironmentOverride useChooser("SUBLUMEN_FILE_CHOOSER", chooser.program());
    EXPECT_EQ(initAll(sys, ""), 0);
    EXPECT_EQ(std::string(sys.startup.startPath), list);
    EXPECT_NE(log().find("Command Line=\n"), std::string::npos);
    // The movie dialog lists every file: no filter, so a folder of movies never looks empty.
    std::vector<std::string> args = chooser.arguments();
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[0], "--file-selection");
    EXPECT_EQ(args[1], "--title=비디오 화일을 고르십시오.");
    EXPECT_EQ(args[2].rfind("--filename=", 0), 0u);
}

TEST_F(StartUp, ChosenPathsAsLongAsTheBufferHolds)
{
    useWindowMode();
    // 85 Korean characters are 255 bytes of UTF-8; with the folder around them the answer is longer.
    std::string folder;
    for (int i = 0; i < 85; ++i)
        folder += "영";
    std::string list = listOfMissingMovies(folder + "/list.slm");
    ASSERT_GT(list.size(), 255u);
    ScriptedChooser chooser(dir, list);
    EnvironmentOverride useChooser("SUBLUMEN_FILE_CHOOSER", chooser.program());
    dir.write("bin/DEBUG.LOG", "a line of the previous run\n");
    EXPECT_EQ(initAll(sys, ""), 0);
    EXPECT_EQ(std::string(sys.startup.startPath), list);
    EXPECT_EQ(log().find("previous run"), std::string::npos);
}

// A relative start path names a file from the folder the program was started in, although the
// settings load moves into the folder of the last movie, where a file of the same name waits.
TEST_F(StartUp, RelativePathIsTakenFromTheStartingFolder)
{
    useWindowMode();
    std::string elsewhere = dir.write("elsewhere/sub/list.slm", "@decoy\nmovie=decoy.avi\n");
    dir.write("config/sublumen/settings",
        "fullscreen dword 0\nlastmovie sz " + dir.file("elsewhere/x.avi") + "\n");
    dir.write("home/sub/list.slm", "@mine\nmovie=mine.avi\n");
    std::filesystem::current_path(dir.file("home"));
    ASSERT_EQ(initAll(sys, "sub/list.slm"), 0);
    EXPECT_EQ(std::string(sys.startup.startPath), dir.file("home/sub/list.slm"));
    EXPECT_NE(log().find("MovieItem : mine/" + dir.file("home/sub/mine.avi") + "//0\n"), std::string::npos) << log();
    EXPECT_EQ(log().find("decoy"), std::string::npos);
}

TEST_F(StartUp, DisplayFailureEndsStartUpWithMinusTwo)
{
    auto driver = std::make_unique<platform::ScriptedDisplayDriver>();
    driver->deviceList.clear();
    platform::setDisplayDriver(std::move(driver));
    useWindowMode();
    EXPECT_EQ(initAll(sys, listOfMissingMovies().c_str()), -2);
    std::string text = log();
    EXPECT_NE(text.find("DirectDrawEnum Fail\n"), std::string::npos);
    EXPECT_NE(text.find("initDirectX() : Fail\n"), std::string::npos);
}

// However far start-up came, deinitAll releases what exists, saves, and can run again.
enum class FailAt { Dialog, Access, Display, Nowhere };

class ShutdownAfter : public StartUp, public ::testing::WithParamInterface<FailAt> { };

TEST_P(ShutdownAfter, ReleasesEverythingAndSaves)
{
    std::optional<ScriptedChooser> chooser;
    std::optional<EnvironmentOverride> useChooser;
    std::string tail = listOfMissingMovies();
    useWindowMode();
    switch (GetParam()) {
    case FailAt::Dialog:
        chooser.emplace(dir, std::nullopt);
        useChooser.emplace("SUBLUMEN_FILE_CHOOSER", chooser->program());
        tail.clear();
        break;
    case FailAt::Access:
        tail = dir.file("missing.avi");
        break;
    case FailAt::Display: {
        auto driver = std::make_unique<platform::ScriptedDisplayDriver>();
        driver->deviceList.clear();
        platform::setDisplayDriver(std::move(driver));
        break;
    }
    case FailAt::Nowhere:
        break;
    }
    int rc = initAll(sys, tail.c_str());
    EXPECT_EQ(rc < 0, GetParam() != FailAt::Nowhere);
    sys.settings.fontsize = 42;
    deinitAll(sys);
    EXPECT_EQ(sys.startup.overlayFont, nullptr);
    EXPECT_EQ(sys.startup.seekBarFont, nullptr);
    EXPECT_EQ(sys.startup.captionFont, nullptr);
    EXPECT_EQ(sys.movie.currentStream, nullptr);
    EXPECT_EQ(sys.movie.currentCaption, nullptr);
    EXPECT_EQ(sys.movie.movieList, nullptr);
    EXPECT_EQ(sys.displays.display.get(), nullptr);
    EXPECT_EQ(sys.displays.backSurface(), nullptr);
    EXPECT_EQ(sys.window.mainWindow, nullptr);
    EXPECT_NE(settingsText().find("fontsize dword 42\n"), std::string::npos);
    // A second shutdown finds nothing left to release.
    deinitAll(sys);
}

INSTANTIATE_TEST_SUITE_P(EveryStep, ShutdownAfter,
    ::testing::Values(FailAt::Dialog, FailAt::Access, FailAt::Display, FailAt::Nowhere),
    [](const auto& info) {
        switch (info.param) {
        case FailAt::Dialog: return "CancelledDialog";
        case FailAt::Access: return "MissingFile";
        case FailAt::Display: return "DisplaySetUp";
        case FailAt::Nowhere: return "SuccessfulStart";
        }
        return "";
    });

}

#include "media/caption_discovery.h"
#include "media/caption_choice.h"

#include "app/debug_log.h"
#include "app/path_text.h"
#include "app/system.h"
#include "caption/caption.h"
#include "media/movie_list.h"
#include "media/movie_session.h"

#include "movie_items.h"
#include "platform/kernel.h"

#include "support/log_capture.h"
#include "support/scripted_chooser.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace sublumen;
using testing_support::CurrentDirectoryGuard;
using testing_support::EnvironmentOverride;
using testing_support::LogCapture;
using testing_support::ScratchDir;
using testing_support::ScriptedChooser;

namespace {

constexpr const char* samiText = "<SAMI><BODY><SYNC Start=1000><P>Hello</SAMI>\n";

class CaptionDiscovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setLogSink([](const char* text) { debugLog("%s", text); });
    }
    void TearDown() override
    {
        platform::setLogSink(nullptr);
        closeMovieCaption(sys);
    }

    std::string find(const std::string& movie, int expectedResult)
    {
        char buffer[1024] = {};
        boundedCopy(buffer, movie.c_str(), sizeof buffer);
        EXPECT_EQ(findCaptionFile(buffer), expectedResult) << movie;
        return buffer;
    }

    CurrentDirectoryGuard cwd;
    ScratchDir dir;
    LogCapture log { dir };
    System sys;
};

struct DiscoveryCase {
    const char* movie;
    std::vector<const char*> present;
    int found;
    const char* result;
};

}

TEST_F(CaptionDiscovery, SuffixesAreTriedInOrderInsideTheFileName)
{
    const DiscoveryCase cases[] = {
        { "v1/a.avi", { "v1/a.smi", "v1/a.sami", "v1/a.sub" }, 1, "v1/a.smi" },
        { "v2/a.avi", { "v2/a.sami", "v2/a.sub" }, 1, "v2/a.sami" },
        { "v3/a.avi", { "v3/a.sub" }, 1, "v3/a.sub" },
        { "v4/a.avi", { "v4/a.avi", "v4/a.avi.smi" }, 0, "v4/a.sub" },
        { "v5/movie", { "v5/movie.smi" }, 1, "v5/movie.smi" },
        // The Part's cut at a "." in a directory name would find the unrelated my.smi.
        { "my.dir/movie", { "my.smi", "my.dir/movie.sub" }, 1, "my.dir/movie.sub" },
        { "v6/A.AVI", { "v6/A.smi" }, 1, "v6/A.smi" },
        { "v7/a.b.avi", { "v7/a.b.smi", "v7/a.smi" }, 1, "v7/a.b.smi" },
        { "v8/a.avi", { "v8/a.sub", "v8/a.srt" }, 1, "v8/a.sub" },
        { "v9/a.avi", { "v9/a.ssa", "v9/a.VTT", "v9/a.vtt", "v9/a.ko.srt" }, 1, "v9/a.vtt" },
        { "v10/a.avi", { "v10/a.en.srt", "v10/a.ko.ass", "v10/a.KOR.srt" }, 1, "v10/a.KOR.srt" },
        { "v11/a.avi", { "v11/a.en.srt", "v11/a.de.srt", "v11/b.ko.srt", "v11/a.x.y.srt", "v11/a.pt.vtt" }, 1, "v11/a.de.srt" },
        { "v12/a.avi", { "v12/a.en.txt", "v12/ab.ko.srt", "v12/a..srt/x" }, 0, "v12/a.sub" },
    };
    for (const DiscoveryCase& c : cases) {
        for (const char* file : c.present)
            dir.write(file, "");
        EXPECT_EQ(find(dir.file(c.movie), c.found), dir.file(c.result));
    }
}

TEST_F(CaptionDiscovery, A1023CharacterPathTriesOnlyTheNamesThatFit)
{
    std::string base = dir.path().string();
    while (1023 - base.size() - 1 > 240)
        base += "/" + std::string(200, 'd');
    std::filesystem::create_directories(base);
    std::string stem = base + "/" + std::string(1023 - base.size() - 1 - 4, 'm');
    ASSERT_EQ((stem + ".avi").size(), 1023u);

    // ".sami" would make 1024 characters: that name is skipped, never cut to ".sam" to fit.
    std::string relativeStem = stem.substr(dir.path().string().size() + 1);
    dir.write(relativeStem + ".sami", "");
    dir.write(relativeStem + ".sam", "");
    EXPECT_EQ(find(stem + ".avi", 0), stem + ".sub");
    dir.write(relativeStem + ".sub", "");
    EXPECT_EQ(find(stem + ".avi", 1), stem + ".sub");

    std::string bare = base + "/" + std::string(1023 - base.size() - 1, 'n');
    EXPECT_EQ(find(bare, 0), bare);
}

TEST_F(CaptionDiscovery, ListFilesNeverAskAndSingleMoviesFindTheirCaption)
{
    sys.settings.asksmi = 1;
    ScriptedChooser chooser(dir, "/never.smi");
    EnvironmentOverride use("SUBLUMEN_FILE_CHOOSER", chooser.program());

    boundedCopy(sys.startup.startPath, dir.write("l/films.ml", "a.avi\nb.avi\n").c_str(), 1024);
    ASSERT_EQ(buildMovieList(sys), 0);
    EXPECT_EQ(itemsOf(*sys.movie.movieList),
        (std::vector<Item> { { "", dir.file("l/a.avi"), "" }, { "", dir.file("l/b.avi"), "" } }));
    EXPECT_EQ(std::string(sys.movie.movieList->cursorItem()->movie), dir.file("l/a.avi"));

    std::string movie = dir.write("v/a.avi", "");
    dir.write("v/a.sami", "");
    boundedCopy(sys.startup.startPath, movie.c_str(), 1024);
    ASSERT_EQ(buildMovieList(sys), 0);
    EXPECT_EQ(itemsOf(*sys.movie.movieList), (std::vector<Item> { { "", movie, dir.file("v/a.sami") } }));
    EXPECT_FALSE(chooser.wasRun());
    EXPECT_EQ(log.text().find("Asking Caption."), std::string::npos);
}

TEST_F(CaptionDiscovery, AsksmiDecidesWhetherTheChooserIsAsked)
{
    struct AskCase {
        int asksmi;
        std::optional<std::string> answer;
        std::string caption;
        bool asked;
        // The start path as given, relative to the scratch folder; the movie's full path when none.
        const char* startPath = nullptr;
    };
    // The list holds absolute paths only, although the question changes the current directory.
    const AskCase cases[] = {
        { 1, "/picked/a.smi", "/picked/a.smi", true },
        { 1, std::nullopt, "", true },
        { 0, "/picked/a.smi", "", false },
        { 1, "b [1].smi", dir.file("films/b [1].smi"), true, "films/a.avi" },
        { 1, std::nullopt, "", true, "films/a.avi" },
    };
    std::string movie = dir.write("films/a.avi", "");
    int n = 0;
    for (const AskCase& c : cases) {
        std::string before = log.text();
        ScriptedChooser chooser(dir, c.answer, "chooser" + std::to_string(n++));
        EnvironmentOverride use("SUBLUMEN_FILE_CHOOSER", chooser.program());
        sys.settings.asksmi = c.asksmi;
        boundedCopy(sys.startup.startPath, c.startPath ? c.startPath : movie.c_str(), 1024);
        std::filesystem::current_path(dir.path());

        ASSERT_EQ(buildMovieList(sys), 0);
        EXPECT_EQ(itemsOf(*sys.movie.movieList), (std::vector<Item> { { "", movie, c.caption } }));
        EXPECT_EQ(chooser.wasRun(), c.asked);
        EXPECT_EQ(log.text().substr(before.size()).find("Asking Caption.\n") != std::string::npos, c.asked);
        if (c.asked) {
            EXPECT_EQ(chooser.workingDirectory(), dir.file("films"));
            EXPECT_EQ(chooser.arguments().at(1), "--title=자막 화일을 고르세요.");
            EXPECT_EQ(chooser.arguments().at(3).rfind("--file-filter=자막 화일 | *.smi *.sami *.sub *.srt *.vtt *.ass *.ssa ", 0), 0u);
        }
    }
}

TEST_F(CaptionDiscovery, CurrentCaptionComesFromTheItemBesideTheMovieOrTheAsfScript)
{
    struct LoadCase {
        std::string movie;
        std::string caption;
        std::string recorded;
        bool track;
        std::string logged;
    };
    std::string given = dir.write("s/given.smi", samiText);
    std::string beside = dir.write("v/a.smi", samiText);
    std::string asfBeside = dir.write("v/c.smi", samiText);
    const LoadCase cases[] = {
        { dir.file("v/z.avi"), given, given, true, "Load SAMI Caption : " + given + "\n" },
        { dir.file("v/a.avi"), "", beside, true, "Load SAMI Caption : " + beside + "\n" },
        { dir.file("v/none.avi"), "", "없음", false, "There is no SAMI file.\n" },
        { dir.file("v/b.ASF"), "", "[ASF]", true, "There is no SAMI file.\nASF -> Try to Load ASF script.\n" },
        { dir.file("v/c.asf"), "", asfBeside, true, "Load SAMI Caption : " + asfBeside + "\n" },
    };
    for (const LoadCase& c : cases) {
        std::string before = log.text();
        sys.movie.currentItem = {};
        boundedCopy(sys.movie.currentItem.movie, c.movie.c_str(), 1024);
        boundedCopy(sys.movie.currentItem.caption, c.caption.c_str(), 1024);

        EXPECT_EQ(loadCurrentCaption(sys), 0);
        EXPECT_EQ(sys.movie.currentItem.caption, c.recorded) << c.movie;
        ASSERT_EQ(sys.movie.currentCaption != nullptr, c.track) << c.movie;
        EXPECT_EQ(log.text().substr(before.size(), c.logged.size()), c.logged);
        if (c.track && c.recorded != "[ASF]") {
            ListNode* first = sys.movie.currentCaption->entries;
            ASSERT_NE(first, nullptr);
            EXPECT_STREQ(static_cast<CaptionEntry*>(first->data)->text, "Hello");
        }
    }
}

// The order Y and Shift+Y go in and how the memory names each choice: a list's caption kept elsewhere
// first, then the files beside the movie as discovery looks for them; the second caption's choices leave
// out the first's and add the other classes of its SAMI file. A remembered choice the movie no longer has
// is logged and forgotten.
TEST_F(CaptionDiscovery, CaptionChoicesComeInDiscoveryOrderWithTheirMemoryKeys)
{
    std::filesystem::create_directories(dir.file("films/subs"));
    const std::string movie = dir.write("films/movie.avi", "");
    dir.write("films/movie.en.srt", "");
    dir.write("films/movie.ko.srt", "");
    dir.write("films/movie.srt", "");
    dir.write("films/movie.smi",
        "<STYLE><!-- .KRCC { lang:ko-KR; } .ENCC { lang:en-US; } --></STYLE>"
        "<SYNC Start=1><P Class=KRCC>\xC7\xD1<P Class=ENCC>Hi<SYNC Start=2>&nbsp;");
    // A VobSub pair: one choice, by its .idx, after the text files; a second caption too (as its text).
    dir.write("films/movie.idx", "# VobSub index file, v7 (do not modify this line!)\n");
    dir.write("films/movie.sub", std::string("\0\0\1\xBA", 4));
    const std::string own = dir.write("films/subs/own.sub", "{1}{2}x\n");
    sys.movie.movieList = std::make_unique<MovieList>();
    sys.movie.movieList->addItem("", movie.c_str(), own.c_str(), 0);
    sys.movie.movieList->rewind();
    boundedCopy(sys.movie.currentItem.movie, movie.c_str(), sizeof sys.movie.currentItem.movie);
    auto keys = [](const std::vector<CaptionChoice>& choices) {
        std::vector<std::string> k;
        for (const CaptionChoice& c : choices)
            k.push_back(c.key);
        return k;
    };
    EXPECT_EQ(keys(firstCaptionChoices(sys)), (std::vector<std::string> { "file:subs/own.sub", "file:movie.smi",
        "file:movie.srt", "file:movie.ko.srt", "file:movie.en.srt", "file:movie.idx", "off" }));

    openMovieCaption(sys, dir.file("films/movie.smi").c_str());
    boundedCopy(sys.movie.currentItem.caption, dir.file("films/movie.smi").c_str(), sizeof sys.movie.currentItem.caption);
    sys.movie.memoryFields = { { "caption2", "class:ENCC" }, { "caption", "file:movie.vtt" }, { "caption2_shift", "x" } };
    chooseStartCaptions(sys);
    EXPECT_EQ(sys.movie.captionChoice, "file:movie.smi");
    EXPECT_EQ(keys(secondCaptionChoices(sys)), (std::vector<std::string> { "file:subs/own.sub", "file:movie.srt",
        "file:movie.ko.srt", "file:movie.en.srt", "file:movie.idx", "class:ENCC", "off" }));
    ASSERT_NE(sys.movie.secondCaption, nullptr);
    EXPECT_EQ(sys.movie.secondCaption->shownClassName(), "ENCC");
    EXPECT_EQ(sys.movie.secondShift, 0);
    EXPECT_EQ(sys.movie.memoryFields, (std::map<std::string, std::string> { { "caption2", "class:ENCC" } }));
    EXPECT_NE(log.text().find("Caption choice: the remembered file:movie.vtt is not in the movie.\n"), std::string::npos);
}

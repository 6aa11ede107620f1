#include "media/movie_list.h"

#include "movie_items.h"

#include "support/log_capture.h"
#include "support/scripted_chooser.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

using namespace sublumen;
using testing_support::CurrentDirectoryGuard;
using testing_support::LogCapture;
using testing_support::ScratchDir;

namespace {

// A list file read from a directory named "lists", "@" standing for that directory in expectations.
struct ListCase {
    const char* name;
    const char* fileName;
    std::string content;
    std::vector<Item> items;
    std::vector<std::string> diagnostics;  // "(line) : text", the list path is put in front.
};

std::string expand(std::string text, const std::string& dir)
{
    for (size_t at; (at = text.find('@')) != std::string::npos;)
        text.replace(at, 1, dir);
    return text;
}

const std::string line1500 = "#" + std::string(1499, 'x');

const ListCase listCases[] = {
    { "KeySpacingAndCase", "a.slm", "@\nmovie = a.avi\nMOVIE=b.avi\nCaption= c.smi \n",
        { { "", "@/b.avi", "@/ c.smi ", 0 } }, { "(2) : Unknown. Ignored." } },
    { "PathCompletion", "a.slm", "@1\nmovie=sub\\a.avi\n@2\nmovie=../a.avi\ncaption=/abs/x.smi\n@3\nmovie=C:\\v\\a.avi\n",
        { { "1", "@/sub/a.avi", "", 0 }, { "2", "@/../a.avi", "/abs/x.smi", 0 }, { "3", "@/C:/v/a.avi", "", 0 } }, {} },
    { "MlMovieLinesAreTakenFromTheListsFolder", "a.ml", "sub/a.avi\n ../b c.avi\n/abs/c.avi\n[G] d\\e [1].avi\n",
        { { "", "@/sub/a.avi", "", 0 }, { "", "@/../b c.avi", "", 0 }, { "", "/abs/c.avi", "", 0 },
            { "", "@/[G] d/e [1].avi", "", 0 } },
        {} },
    { "IndentedMarkersAndComments", "a.slm", "  @T\n\t# c\n \b! c\n\n\tmovie=a.avi\n",
        { { "T", "@/a.avi", "", 0 } }, {} },
    { "TimeShifts", "a.slm", "@a\ntimeshift=abc\n@b\ntimeshift=+250\n@c\ntimeshift=  -7x\ntimeshift=99999999999\n",
        { { "a", "", "", 0 }, { "b", "", "", 250 }, { "c", "", "", INT32_MAX } }, {} },
    { "KeysBeforeTheFirstItem", "a.slm", "movie=a.avi\nnothing\n@\nnothing\n",
        { { "", "", "", 0 } }, { "(1) : No item. Ignored.", "(2) : No item. Ignored.", "(4) : No '='. Ignored." } },
    { "DuplicateKeys", "a.slm", "@\nmovie=a.avi\nmovie=b.avi\ncaption=a.smi\ncaption=b.smi\ntimeshift=1\ntimeshift=2\ntitle=x\n",
        { { "", "@/a.avi", "@/a.smi", 2 } },
        { "(3) : Dup Mov. Ignored.", "(5) : Dup Cap. Ignored.", "(8) : Unknown. Ignored." } },
    { "MlDuplicatesAndUnknownKeys", "a.ml", ":title=early\n a.avi\n:title=x\n:title=y\n:caption=s\\a.smi\n:caption=b\n:movie=m\n:junk\n",
        { { "x", "@/a.avi", "@/s/a.smi", 0 } },
        { "(1) : No item. Ignored.", "(4) : Dup Title. Ignored.", "(6) : Dup Cap. Ignored.", "(7) : Unknown. Ignored.",
            "(8) : No '='. Ignored." } },
    // A line longer than a read keeps its first 999 characters; a comment loses its rest silently.
    { "LongLineIsOneLine", "a.slm", "@\n" + line1500 + "\nbad\n",
        { { "", "", "", 0 } }, { "(3) : No '='. Ignored." } },
    { "LongTitleKeepsWhatFits", "a.slm", "@" + std::string(1200, 'T') + "\nmovie=a.avi\nbad\n",
        { { std::string(998, 'T'), "@/a.avi", "", 0 } }, { "(1) : Too long. Cut.", "(3) : No '='. Ignored." } },
    { "LongMlLineIsOneItem", "a.ml", "/" + std::string(1200, 'm') + "\r\n:timeshift=5\n/" + std::string(998, 'n') + "\r\n",
        { { "", "/" + std::string(998, 'm'), "", 5 }, { "", "/" + std::string(998, 'n'), "", 0 } },
        { "(1) : Too long. Cut." } },
    { "ByteOrderMarkSkipped", "a.slm", "\xEF\xBB\xBF" "@T\nmovie=a.avi\n", { { "T", "@/a.avi", "", 0 } }, {} },
    // A CP949 list's title and paths keep the file's bytes (the paths name files on disk); UTF-16 reaches
    // the reader as UTF-8.
    { "Cp949TextsKeepTheFilesBytes", "a.slm", "@\xC2\xA6 \xC7\xD1\nmovie=\xC7\xD1.avi\n",
        { { "\xC2\xA6 \xC7\xD1", "@/\xC7\xD1.avi", "", 0 } }, {} },
    { "Utf16List", "a.ml", std::string("\xFF\xFE" "a\0.\0a\0v\0i\0\n\0", 14) + std::string(":\0t\0i\0t\0l\0e\0=\0\x5C\xD5\n\0", 18),
        { { "\xED\x95\x9C", "@/a.avi", "", 0 } }, {} },
    { "OnlyComments", "a.ml", "# one\n! two\n\n", {}, {} },
    { "Empty", "a.slm", "", {}, {} },
};

void PrintTo(const ListCase& c, std::ostream* out)
{
    *out << c.name;
}

class ListFile : public ::testing::TestWithParam<ListCase> { };

}

TEST_P(ListFile, ReadsItemsAndDiagnostics)
{
    const ListCase& c = GetParam();
    ScratchDir dir;
    LogCapture log(dir);
    std::string listDir = dir.file("lists");
    std::string path = dir.write(std::string("lists/") + c.fileName, c.content);

    MovieList list;
    ASSERT_EQ(loadListFile(list, path.c_str()), 0);
    std::vector<Item> expected;
    for (Item item : c.items)
        expected.push_back({ item.title, expand(item.movie, listDir), expand(item.caption, listDir), item.timeshift });
    EXPECT_EQ(itemsOf(list), expected);
    EXPECT_EQ(list.cursor, list.items);

    std::string expectedLines, loggedLines;
    for (const std::string& line : c.diagnostics)
        expectedLines += path + line + "\n";
    std::istringstream logged(log.text());
    for (std::string line; std::getline(logged, line);)
        if (line.starts_with(path + "("))
            loggedLines += line + "\n";
    EXPECT_EQ(loggedLines, expectedLines);
}

INSTANTIATE_TEST_SUITE_P(Cases, ListFile, ::testing::ValuesIn(listCases),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListFile, WorkedExamplesInBothFormats)
{
    ScratchDir dir;
    LogCapture log(dir);
    std::string listDir = dir.file("lists");
    std::string slm = dir.write("lists/show.slm",
        "# my list\r\n@First evening\r\nmovie=ep01.avi\r\ncaption=D:\\subs\\ep01.smi\r\ntimeshift=-1500\r\n@\r\nmovie=ep02.avi\r\n");
    MovieList fromSlm;
    ASSERT_EQ(readSlmList(fromSlm, slm.c_str()), 0);
    EXPECT_EQ(itemsOf(fromSlm), (std::vector<Item> { { "First evening", listDir + "/ep01.avi", listDir + "/D:/subs/ep01.smi", -1500 },
                                    { "", listDir + "/ep02.avi", "", 0 } }));
    EXPECT_EQ(fromSlm.cursorItem(), nodeData(fromSlm.items));
    EXPECT_NE(log.text().find("MovieItem : First evening/" + listDir + "/ep01.avi/" + listDir + "/D:/subs/ep01.smi/-1500\n"
                              "MovieItem : /" + listDir + "/ep02.avi//0\n"),
        std::string::npos);

    // The title stays a title: it is not joined to the list's directory. The movie lines are, as the
    // program changes its current directory itself.
    std::string ml = dir.write("lists/show.ml",
        "ep01.avi\n:title=First evening\n:caption=D:\\subs\\ep01.smi\n:timeshift=-1500\nep02.avi\n");
    MovieList fromMl;
    ASSERT_EQ(readMlList(fromMl, ml.c_str()), 0);
    EXPECT_EQ(itemsOf(fromMl), (std::vector<Item> { { "First evening", listDir + "/ep01.avi", listDir + "/D:/subs/ep01.smi", -1500 },
                                   { "", listDir + "/ep02.avi", "", 0 } }));
    EXPECT_NE(log.text().find("MovieItem : First evening/" + listDir + "/ep01.avi/"), std::string::npos);
}

// Titles are logged as the file has them and decoded only to be shown, each line on its own: a UTF-8
// title added to a CP949 list is UTF-8, while a CP949 title whose first syllable alone would pass for
// UTF-8 stays CP949.
TEST(ListFile, TitlesAreLoggedAsWrittenAndShownLineByLine)
{
    struct Title {
        std::string bytes, shown;
    };
    const struct {
        const char* fileName;
        std::string content;
        std::vector<Title> titles;
    } cases[] = {
        { "cp949.slm", "@\xC2\xA6 \xC7\xD1\n@영화 2\n@plain\n",
            { { "\xC2\xA6 \xC7\xD1", "짝 한" }, { "영화 2", "영화 2" }, { "plain", "plain" } } },
        { "cp949.ml", "a.avi\n:title=\xBF\xB5\xC8\xAD\nb.avi\n:title=영화\n",
            { { "\xBF\xB5\xC8\xAD", "영화" }, { "영화", "영화" } } },
        { "utf8.slm", "@\xEC\xA7\x9D\n", { { "짝", "짝" } } },
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        LogCapture log(dir);
        MovieList list;
        ASSERT_EQ(loadListFile(list, dir.write(c.fileName, c.content).c_str()), 0);
        std::vector<std::string> bytes, shown, expectedBytes, expectedShown;
        for (ListNode* node = list.items; node; node = node->next) {
            const auto* item = static_cast<const MovieItem*>(node->data);
            bytes.push_back(item->title);
            shown.push_back(shownTitle(*item));
        }
        for (const Title& t : c.titles) {
            expectedBytes.push_back(t.bytes);
            expectedShown.push_back(t.shown);
            EXPECT_NE(log.text().find("MovieItem : " + t.bytes + "/"), std::string::npos) << c.fileName;
        }
        EXPECT_EQ(bytes, expectedBytes) << c.fileName;
        EXPECT_EQ(shown, expectedShown) << c.fileName;
    }
}

TEST(ListFile, ListWithoutDirectoryIsTakenFromTheCurrentDirectory)
{
    ScratchDir dir;
    CurrentDirectoryGuard cwd;
    dir.write("plain.slm", "@\nmovie=a.avi\ncaption=a.smi\n");
    std::filesystem::current_path(dir.path());
    MovieList list;
    ASSERT_EQ(readSlmList(list, "plain.slm"), 0);
    std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(itemsOf(list), (std::vector<Item> { { "", here + "/a.avi", here + "/a.smi", 0 } }));
}

TEST(ListFile, KindIsTakenFromTheEnding)
{
    const std::pair<const char*, int> kinds[] = { { "a.slm", 1 }, { "/x/B.SLM", 1 }, { "a.ml", 2 }, { "x.Ml", 2 },
        { ".ml", 0 }, { ".slm", 0 }, { "a.sml", 0 }, { "movie.avi", 0 }, { "", 0 }, { "ml", 0 } };
    for (auto [path, kind] : kinds)
        EXPECT_EQ(listKind(path), kind) << path;
}

TEST(ListFile, BadInputNeverBreaksTheReader)
{
    ScratchDir dir;
    MovieList list;
    list.addItem("kept", "k.avi", "", 0);
    list.stepForward();
    // A list that cannot be opened leaves both the items and the cursor alone.
    EXPECT_EQ(readSlmList(list, dir.file("missing.slm").c_str()), -1);
    EXPECT_EQ(readMlList(list, dir.file("missing.ml").c_str()), -1);
    EXPECT_EQ(itemsOf(list), (std::vector<Item> { { "kept", "k.avi", "", 0 } }));
    EXPECT_EQ(list.cursor, nullptr);

    std::string garbage;
    uint32_t seed = 12345;
    for (int i = 0; i < 65536; ++i) {
        seed = seed * 1103515245u + 12345u;
        char c = static_cast<char>(seed >> 24);
        garbage += c == 0x1A ? '@' : c;  // Ctrl-Z would end the input early.
    }
    std::string huge = "@\nmovie=" + std::string(4994, 'a') + "\ncaption=" + std::string(5000, 'b') + "\n";
    for (const std::string& content : { garbage, huge }) {
        for (const char* name : { "g.slm", "g.ml" }) {
            MovieList read;
            ASSERT_EQ(loadListFile(read, dir.write(name, content).c_str()), 0);
            for (ListNode* node = read.items; node; node = node->next) {
                auto* item = static_cast<MovieItem*>(node->data);
                ASSERT_LT(strnlen(item->title, 1024), 1024u);
                ASSERT_LT(strnlen(item->movie, 1024), 1024u);
                ASSERT_LT(strnlen(item->caption, 1024), 1024u);
            }
        }
    }
    MovieList read;
    readSlmList(read, dir.write("h.slm", huge).c_str());
    ASSERT_EQ(itemsOf(read).size(), 1u);
    // The first 999-character piece holds the key; the joined path is cut to 1023 characters.
    EXPECT_EQ(itemsOf(read)[0].movie, (dir.path().string() + "/" + std::string(993, 'a')).substr(0, 1023));
}

TEST(MovieListCursor, StepsOneItemAtATimeWithoutWrapping)
{
    MovieList list;
    EXPECT_EQ(list.cursorItem(), nullptr);
    for (int i = 1; i <= 5; ++i)
        list.addItem(std::to_string(i).c_str(), "", "", 0);
    list.rewind();
    auto title = [](MovieItem* item) { return item ? std::string(item->title) : std::string("none"); };

    std::vector<std::string> forward { title(list.cursorItem()) };
    for (int i = 0; i < 6; ++i)
        forward.push_back(title(list.stepForward()));
    EXPECT_EQ(forward, (std::vector<std::string> { "1", "2", "3", "4", "5", "none", "none" }));
    EXPECT_EQ(title(list.stepBack()), "none");

    list.rewind();
    for (int i = 0; i < 4; ++i)
        list.stepForward();
    std::vector<std::string> back { title(list.cursorItem()) };
    for (int i = 0; i < 6; ++i)
        back.push_back(title(list.stepBack()));
    EXPECT_EQ(back, (std::vector<std::string> { "5", "4", "3", "2", "1", "none", "none" }));
    EXPECT_EQ(title(list.stepForward()), "none");

    EXPECT_EQ(list.clearList(), 0);
    EXPECT_EQ(list.items, nullptr);
    EXPECT_EQ(list.cursorItem(), nullptr);
}

#include "caption/caption.h"
#include "caption/sub_reader.h"

#include "support/log_capture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace sublumen;
using testing_support::LogCapture;
using testing_support::ScratchDir;

namespace {

struct Entry {
    uint32_t start;
    std::string text;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e) { return out << "{" << e.start << ", \"" << e.text << "\"}"; }

const Entry endEntry { endMarker, "" };

class SubReader : public ::testing::Test {
protected:
    std::vector<Entry> load(const std::string& bytes)
    {
        track = std::make_unique<Caption>(dir.write("movie.sub", bytes).c_str());
        std::vector<Entry> out;
        for (ListNode* n = track->entries; n; n = n->next) {
            auto* e = static_cast<CaptionEntry*>(n->data);
            out.push_back({ e->start, e->text });
        }
        return out;
    }

    // The flush lines of the log, in order.
    std::string cationLines() const
    {
        std::string all = log.text();
        std::string out;
        for (size_t at = all.find("Cation"); at != std::string::npos; at = all.find("Cation", at + 1))
            out += all.substr(at, all.find('\n', at) + 1 - at);
        return out;
    }

    ScratchDir dir;
    LogCapture log { dir };
    std::unique_ptr<Caption> track;
};

std::string filtered(std::string line)
{
    filterSubLine(line.data());
    return line.c_str();
}

}

TEST_F(SubReader, RangeCaptionsAreBlankedAtTheirEnd)
{
    EXPECT_EQ(load("00:00:01.00,00:00:04.00\nHello[br]World\n\n00:00:05.00,00:00:06.00\nBye\n"),
        (std::vector<Entry> { { 1000, "Hello\nWorld" }, { 4000, "" }, { 5000, "Bye" }, { 6000, "" }, endEntry }));
    EXPECT_EQ(cationLines(), "Cation from 5000 ~ 6000 : Bye\n");
    EXPECT_EQ(log.text().rfind("Caption::loadSub( \"" + dir.file("movie.sub") + "\" )\n", 0), 0u);
}

TEST_F(SubReader, SingleTimeCaptionLastsUntilTheNextEntry)
{
    EXPECT_EQ(load("[00:01:02.50]\nHi\n"), (std::vector<Entry> { { 62500, "Hi" }, endEntry }));
    EXPECT_NE(log.text().find("Cation at 62500 : Hi\n"), std::string::npos);
}

TEST_F(SubReader, FlushLogLineDependsOnWhatClosedTheCaption)
{
    struct Case {
        const char* file;
        const char* expectedLog;  // the Cation lines only
    };
    for (const Case& c : std::vector<Case> {
             { "[1]\na\n0:0:2.0,0:0:3.0\nb\n", "Cation at 3600000 : a\nCation from 2000 ~ 3000 : b\n" },
             { "0:0:2.0,0:0:3.0\nb\n[0:0:4.0]\nc\n", "Cation from 2000 ~ 3000 : b\nCation at 4000 : c\n" },
             { "[0:0:1]\na\n[0:0:2]\nb\n", "Cation at 2000 : b\n" },
             { "0:0:1,0:0:2\na\n0:0:3,0:0:4\nb\n", "Cation from 3000 ~ 4000 : b\n" } }) {
        LogCapture fresh(dir);
        load(c.file);
        EXPECT_EQ(cationLines(), c.expectedLog) << c.file;
    }
}

TEST_F(SubReader, LineShapes)
{
    struct Case {
        const char* file;
        std::vector<Entry> entries;
    };
    for (const Case& c : std::vector<Case> {
             // Two text lines are joined with a line feed; an empty line does not close the caption.
             { "0:0:1,0:0:2\none\n\ntwo\n", { { 1000, "one\ntwo" }, { 2000, "" }, endEntry } },
             // Hours and minutes only.
             { "1:00 2:00\nx\n", { { 3600000, "x" }, { 7200000, "" }, endEntry } },
             { "01:02:03.04,01:02:03.05\nx\n", { { 3723040, "x" }, { 3723050, "" }, endEntry } },
             // A text line that begins with a digit is a range line.
             { "[0:0:1]\n3 days later\n", { { 0, "" }, { 1000, "" }, { 10800000, "" }, endEntry } },
             // A time line right after another gives a blank at the first one's start.
             { "[0:0:1]\n[0:0:2]\nx\n", { { 1000, "" }, { 2000, "x" }, endEntry } },
             // A header block before the first time line is ignored.
             { "[INFORMATION]\n[TITLE]Movie\nstray text\n[0:0:1]\nx\n", { { 1000, "x" }, endEntry } },
             // Text after the time on a single-time line is ignored; CR LF line ends are read as LF.
             { "[0:0:1.5] ignored\r\nx\r\n", { { 1050, "x" }, endEntry } },
             // Ctrl-Z ends the input.
             { "[0:0:1]\nx\n\x1A[0:0:2]\ny\n", { { 1000, "x" }, endEntry } },
             // A UTF-8 byte-order mark in front of the first time line is skipped.
             { "\xEF\xBB\xBF" "0:0:1,0:0:2\nx\n", { { 1000, "x" }, { 2000, "" }, endEntry } },
             // A line that cleans to nothing still breaks the line when text is pending.
             { "[0:0:1]\n[b]\nA\n[center]\nB\n", { { 1000, "A\n\nB" }, endEntry } },
             { "", { endEntry } } }) {
        EXPECT_EQ(load(c.file), c.entries) << c.file;
    }
}

TEST_F(SubReader, LineWithFewerThanTwoFieldsDropsItsCaption)
{
    EXPECT_EQ(load("[0:0:1]\nbefore\n12\nlost\n ,\n0:0:5,0:0:6\nkept\n"),
        (std::vector<Entry> { { 1000, "before" }, { 5000, "kept" }, { 6000, "" }, endEntry }));
    EXPECT_NE(log.text().find("Bad Time found at line 3 --> Ignored.\n"), std::string::npos);
}

TEST_F(SubReader, GarbageAndExtremeTimesAreReadWithoutFault)
{
    EXPECT_EQ(load("1x,,  ,zz\na\n"), (std::vector<Entry> { { 0, "" }, { 3600000, "a" }, endEntry }));
    // Negative and enormous times wrap in 32 bits like every caption time.
    EXPECT_EQ(load("0:0:-5,-5\na\n"), (std::vector<Entry> { { 4276967296u, "" }, { 4294962296u, "a" }, endEntry }));
    EXPECT_EQ(load("99999999:99:99.99,99999999:99\na\n"),
        (std::vector<Entry> { { 138556576u, "" }, { 138656566u, "a" }, endEntry }));
}

TEST(SubTime, ParsesEveryTail)
{
    const std::vector<std::pair<const char*, int32_t>> cases {
        { "", 0 },
        { " : . ", 0 },
        { "5", 1800000 },
        { "1:00", 360000 },
        { "01:02:03.04", 372304 },
        { "0:0:1.5", 105 },
        { "0:0:1.500", 600 },
        { "1:2:3:4", 372300 },
        { "  2 : 30", 900000 },
        { "-1", -360000 },
        { "+2", 720000 },
        { "\t7", 2520000 },
        { "abc:5", 30000 },
        { "00:00:05.xx", 500 },
        { "00:01:02.50]", 6250 },
        { "0:0:0.99999999999", 2147483647 },
        { "0:0:0.-99999999999", -2147483647 - 1 },
        { "99999999999", -360000 },  // held at 2147483647 hours, then wrapped
    };
    for (auto [field, hundredths] : cases)
        EXPECT_EQ(parseSubTime(field), hundredths) << '"' << field << '"';
}

TEST(SubLineFilter, BracketTags)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { "Hello[br]World", "Hello\nWorld" },
        { "a[/br]b", "a\rb" },
        { "[BR][Br]", "\n\n" },
        { "[ruby]base[rt]reading[/ruby]", "[base/reading]" },
        { "[b]bold[/b] [center]c[/center]", "bold c" },
        { "[br [i]x[/i] [", "[br [i]x[/i] [" },
        { "[brx]", "[brx]" },
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(filtered(in), out) << in;
}

// The acute accent stands for an apostrophe in Western text, but B4 is also a byte of many Korean
// characters in both CP949 and UTF-8, which must come through whole.
TEST(SubLineFilter, AcuteAccentBecomesApostropheOnlyWhereItIsOne)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { "don\xB4t", "don't" },  // Western
        { "\xB4quoted\xB4", "'quoted'" },
        { "caf\xE9 \xB4n", "caf\xE9 'n" },
        { "\xB4\xD9", "\xB4\xD9" },  // CP949 다
        { "\xB0\xA1\xB4\xD9 \xB4", "\xB0\xA1\xB4\xD9 '" },  // a B4 outside any pair in a Korean line
        { "\xB4\xE3[br]\xB1\xAB", "\xB4\xE3\n\xB1\xAB" },  // 담, line break, 괴
        { "\xC2\xB4", "'" },  // UTF-8 acute accent
        { "it\xC2\xB4s \xEA\xB4\xB4 \xC4\xB4", "it's \xEA\xB4\xB4 \xC4\xB4" },  // UTF-8 괴 and Ĵ stay
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(filtered(in), out) << in;
}

TEST_F(SubReader, KoreanCaptionsKeepTheirBytes)
{
    EXPECT_EQ(load("[0:0:1]\n\xB4\xD9\xB8\xA5 \xB4\xEB\xBB\xE7\n"), (std::vector<Entry> { { 1000, "\xB4\xD9\xB8\xA5 \xB4\xEB\xBB\xE7" }, endEntry }));
}

// Lines are read in pieces of 999 characters, each a line of its own and each counted.
TEST_F(SubReader, LongLinesAreReadInPiecesAndTheTextStaysWithinItsBuffer)
{
    std::string huge(100000, 'x');
    EXPECT_EQ(load("[0:0:1]\n" + huge + "\n"),
        (std::vector<Entry> { { 1000, std::string(999, 'x') + "\n" + std::string(999, 'x') + "\n" + std::string(47, 'x') }, endEntry }));

    // 100 pieces of 999 and one of 100 with the line feed: the next line is line 102.
    load("a" + std::string(99999, 'z') + "\n12\n");
    EXPECT_NE(log.text().find("Bad Time found at line 102 --> Ignored.\n"), std::string::npos);

    // A line of exactly 999 characters leaves its line feed as an empty piece, which is ignored.
    EXPECT_EQ(load("[0:0:1]\n" + std::string(999, 'q') + "\nr\n"),
        (std::vector<Entry> { { 1000, std::string(999, 'q') + "\nr" }, endEntry }));
}

// What passes 2047 characters is cut after the last whole character; a line of which nothing fits adds
// nothing, not even its line feed.
TEST_F(SubReader, CutKeepsWholeCharacters)
{
    std::string hangulUtf8;
    for (int i = 0; i < 300; ++i)
        hangulUtf8 += "가";  // 900 bytes
    std::vector<Entry> entries = load("[0:0:1]\n" + hangulUtf8 + "\n" + hangulUtf8 + "\n" + hangulUtf8 + "\nmore\n");
    ASSERT_EQ(entries.size(), 2u);
    std::string expected = hangulUtf8 + "\n" + hangulUtf8 + "\n";
    for (int i = 0; i < 81; ++i)  // 1802 + 243 = 2045; one more would pass 2047
        expected += "가";
    // Two bytes are left: a line feed and one character of the short line.
    EXPECT_EQ(entries[0].text, expected + "\nm");

    std::string cp949;
    for (int i = 0; i < 499; ++i)
        cp949 += "\xB0\xA1";  // 998 bytes
    entries = load("[0:0:1]\n" + cp949 + "\n" + cp949 + "\n" + cp949 + "\n");
    ASSERT_EQ(entries.size(), 2u);
    std::string tail;
    for (int i = 0; i < 24; ++i)  // 1997 + 1 + 48 = 2046: the 25th pair would pass 2047
        tail += "\xB0\xA1";
    EXPECT_EQ(entries[0].text, cp949 + "\n" + cp949 + "\n" + tail);
}

TEST_F(SubReader, MissingFile)
{
    track = std::make_unique<Caption>(dir.file("absent.sub").c_str());
    EXPECT_EQ(track->entries, nullptr);
    EXPECT_NE(log.text().find("Caption:: load Fail -1.\n"), std::string::npos);
}

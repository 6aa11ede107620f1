#include "caption/asf_script_reader.h"
#include "caption/caption.h"

#include "support/asf_builder.h"
#include "support/log_capture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace sublumen;
using testing_support::AsfBuilder;
using testing_support::LogCapture;
using testing_support::ScratchDir;
using testing_support::utf16le;

namespace {

struct Entry {
    uint32_t start;
    std::string text;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e) { return out << "{" << e.start << ", \"" << e.text << "\"}"; }

std::vector<Entry> entriesOf(const Caption& track)
{
    std::vector<Entry> out;
    for (ListNode* n = track.entries; n; n = n->next) {
        auto* e = static_cast<CaptionEntry*>(n->data);
        out.push_back({ e->start, e->text });
    }
    return out;
}

class AsfScriptReader : public ::testing::Test {
protected:
    // Loads bytes written as an .asf file through the reader choice of the track.
    std::vector<Entry> load(const std::string& bytes, const char* name = "movie.asf")
    {
        track = std::make_unique<Caption>(dir.write(name, bytes).c_str());
        return entriesOf(*track);
    }

    struct Scan {
        int result;
        long position;
    };
    Scan scan(const std::string& bytes)
    {
        std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(dir.write("scan.bin", bytes).c_str(), "rb"), std::fclose);
        int result = findTextScript(file.get());
        return { result, std::ftell(file.get()) };
    }

    ScratchDir dir;
    LogCapture log { dir };
    std::unique_ptr<Caption> track;
};

const Entry endEntry { endMarker, "" };

}

TEST_F(AsfScriptReader, CommandsBecomeEntriesShiftedByThePreroll)
{
    AsfBuilder asf;
    asf.commandType(u"TEXT").command(5000, 0, u"one").command(8000, 0, u"two").command(9000, 0, u"three");
    EXPECT_EQ(load(asf.bytes()), (std::vector<Entry> { { 1900, "one" }, { 4900, "two" }, { 5900, "three" }, endEntry }));
    std::string text = log.text();
    EXPECT_NE(text.find("Caption::loadASFscript( \"" + dir.file("movie.asf") + "\" )\n"), std::string::npos);
    EXPECT_NE(text.find("Type String:1\nTypeString 0:5\nASFscript:: 3 scripts.\n"), std::string::npos) << text;
}

// Presentation times below the preroll are shown from the start instead of wrapping to the top of the
// unsigned range, where they would never be reached.
TEST_F(AsfScriptReader, EarlyCommandsStartAtZero)
{
    const std::vector<std::pair<uint32_t, uint32_t>> cases {
        { 0, 0 }, { 1000, 0 }, { 3099, 0 }, { 3100, 0 }, { 3101, 1 }, { 4294967295u, 4294964195u },
    };
    for (auto [presentation, expected] : cases) {
        AsfBuilder asf;
        asf.commandType(u"TEXT").command(presentation, 0, u"early");
        EXPECT_EQ(load(asf.bytes()), (std::vector<Entry> { { expected, "early" }, endEntry })) << presentation;
    }
}

TEST_F(AsfScriptReader, TypeNamesAreComparedByTheirDocumentedForms)
{
    struct Case {
        std::u16string type;
        bool found;
    };
    for (const Case& c : std::vector<Case> {
             { u"TEXT", true }, { u"text", true }, { u"TEXTS", true }, { u"CAPTIONS", true }, { u"CAPTION", true },
             { u"Text", false }, { u"Caption", false }, { u"CAPTIO", false }, { u"URL", false } }) {
        AsfBuilder asf;
        asf.commandType(c.type).command(4100, 0, u"hello");
        std::vector<Entry> entries = load(asf.bytes());
        if (c.found) {
            EXPECT_EQ(entries, (std::vector<Entry> { { 1000, "hello" }, endEntry })) << std::string(c.type.begin(), c.type.end());
        } else {
            EXPECT_TRUE(entries.empty());
            EXPECT_NE(log.text().find("ASFscript:: No TEXT Script.\nCaption:: load Fail -2.\n"), std::string::npos);
        }
    }
}

// The counts are taken from the six bytes before the matched name, which for a second type are the end
// of the first name and the second name's length; the commands are then read from that length on.
TEST_F(AsfScriptReader, TypeAfterAnotherTakesItsCountsFromThePrecedingName)
{
    AsfBuilder asf;
    asf.commandType(u"URL").commandType(u"TEXT").command(5000, 1, u"caption");
    std::vector<Entry> entries = load(asf.bytes());
    // "L" and the NUL unit of "URL" give 76 commands and 0 types.
    EXPECT_NE(log.text().find("Type String:0\nASFscript:: 76 scripts.\n"), std::string::npos) << log.text();
    ASSERT_GE(entries.size(), 2u);
    // The first command is read from 05 00 'T' 00 'E' 00: time 0x00540005.
    EXPECT_EQ(entries.front().start, 0x00540005u - 3100u);
    EXPECT_EQ(entries.back(), endEntry);
}

TEST_F(AsfScriptReader, FileThatBeginsWithTheNameHasNoCommands)
{
    EXPECT_EQ(load(utf16le(u"TEXT") + std::string(40, 'a')), (std::vector<Entry> { endEntry }));
    EXPECT_NE(log.text().find("Type String:0\nASFscript:: 0 scripts.\n"), std::string::npos);
}

TEST_F(AsfScriptReader, CommandTextIsCleanedAndConvertedToUtf8)
{
    AsfBuilder asf;
    asf.commandType(u"TEXT")
        .command(4000, 0, u"Hello<br>World")
        .command(5000, 0, u"안녕  하세요")
        .command(6000, 0, u"")
        .command(7000, 0, u"100%25 &nbsp;<b>x</b>")
        .command(8000, 0, u"emoji \U0001F600 lone \xD800 end")
        .rawCommand(9000, 0, 5, std::u16string_view(u"ab\0cd", 5));
    EXPECT_EQ(load(asf.bytes()),
        (std::vector<Entry> { { 900, "Hello\nWorld" }, { 1900, "안녕 하세요" }, { 2900, "" }, { 3900, "100% x" },
            { 4900, "emoji \xF0\x9F\x98\x80 lone \xEF\xBF\xBD end" }, { 5900, "ab" }, endEntry }));
}

// A name longer than 1000 units keeps its first 1000, and the converted text keeps only whole characters
// within 999 bytes; the rest of the name is skipped so the next command is read from its start.
TEST_F(AsfScriptReader, LongNamesAreCutAndSkipped)
{
    struct Case {
        std::u16string name;
        std::string expected;
    };
    std::u16string pairInside = std::u16string(249, u'가') + u"\U0001F600";
    std::u16string hangul(500, u'가');
    // 996 bytes and a pair of 4: the lone high surrogate would still fit as U+FFFD, the pair does not.
    std::u16string pairOver = std::u16string(332, u'가') + u"\U0001F600";
    auto repeat = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += s;
        return out;
    };
    for (const Case& c : std::vector<Case> {
             { std::u16string(1199, u'x'), std::string(999, 'x') },  // 1200 units with the NUL
             { std::u16string(999, u'y'), std::string(999, 'y') },
             { hangul, repeat("가", 333) },
             { pairInside, repeat("가", 249) + "\xF0\x9F\x98\x80" },
             { pairOver, repeat("가", 332) } }) {
        AsfBuilder asf;
        asf.commandType(u"TEXT").command(4100, 0, c.name).command(5100, 0, u"next");
        std::vector<Entry> entries = load(asf.bytes());
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(entries[0].text.size(), c.expected.size());
        EXPECT_EQ(entries[0], (Entry { 1000, c.expected }));
        EXPECT_EQ(entries[1], (Entry { 2000, "next" }));
    }
}

TEST_F(AsfScriptReader, ScanFindsMatchesAtBlockEdgesAndTheFileEnd)
{
    // The counts stand in the six bytes before the name; the file is left on the first command.
    std::string counts = std::string("\x02\x00\x01\x00\x05\x00", 6);
    std::string name = utf16le(u"TEXT") + std::string(2, '\0');
    for (size_t offset : { size_t(0), size_t(1), size_t(65530), size_t(65536 + 7), size_t(200000) }) {
        std::string bytes = std::string(offset, 'a') + counts + name + std::string(4, '\0') + "rest";
        Scan s = scan(bytes);
        EXPECT_EQ(s.result, 2) << offset;
        EXPECT_EQ(s.position, static_cast<long>(offset + 6 + 10)) << offset;
    }
    // The window must lie wholly inside the file: a name in the last 14 bytes is found, one a byte
    // shorter is not.
    std::string tail = std::string(20, 'a') + counts + utf16le(u"TEXT");
    EXPECT_EQ(scan(tail + std::string(6, 'z')).result, 2);
    EXPECT_EQ(scan(tail + std::string(5, 'z')).result, -1);
    EXPECT_EQ(scan("").result, -1);
    EXPECT_EQ(scan(utf16le(u"TEXT")).result, -1);
}

TEST_F(AsfScriptReader, StopPatternEndsTheScan)
{
    EXPECT_EQ(scan(std::string(64, '\xFF')).result, -2);
    EXPECT_EQ(scan("abc" + std::string(8, '\xFF') + "padding" + utf16le(u"TEXT") + std::string(20, '\0')).result, -2);
    EXPECT_EQ(scan(utf16le(u"TEXT") + std::string(64, '\xFF')).result, 0);
    EXPECT_TRUE(load(std::string(100000, '\xFF')).empty());
    EXPECT_NE(log.text().find("ASFscript:: No TEXT Script.\n"), std::string::npos);
}

TEST_F(AsfScriptReader, MissingAndEmptyFiles)
{
    track = std::make_unique<Caption>(dir.file("absent.asf").c_str());
    EXPECT_TRUE(entriesOf(*track).empty());
    EXPECT_NE(log.text().find("ASFscript:: file open error.\nCaption:: load Fail -1.\n"), std::string::npos);
    EXPECT_TRUE(load("").empty());
    EXPECT_TRUE(load(std::string(13, 'T')).empty());
}

// Counts larger than the file: the commands end where the file ends, and the track still gets its end.
TEST_F(AsfScriptReader, CountsBeyondTheFileStopAtItsEnd)
{
    AsfBuilder many;
    many.commandType(u"TEXT").command(5000, 0, u"a").command(6000, 0, u"b").commandsCount(65535);
    std::string object = many.scriptCommandObject();
    EXPECT_EQ(load(object), (std::vector<Entry> { { 1900, "a" }, { 2900, "b" }, endEntry }));
    EXPECT_NE(log.text().find("ASFscript:: 65535 scripts.\n"), std::string::npos);

    AsfBuilder types;
    types.commandType(u"TEXT").command(5000, 0, u"a").commandTypesCount(65535);
    EXPECT_EQ(load(types.scriptCommandObject()), (std::vector<Entry> { endEntry }));

    // A name whose length runs past the end keeps the units that are there.
    AsfBuilder cut;
    cut.commandType(u"TEXT").command(5000, 0, u"a").rawCommand(6000, 0, 500, u"xyz").commandsCount(3);
    EXPECT_EQ(load(cut.scriptCommandObject()), (std::vector<Entry> { { 1900, "a" }, { 2900, "xyz" }, endEntry }));
}

// Every prefix of a real file loads without fault: either no script is found or the entries read so far
// are kept, and a successful load always ends with the end marker.
TEST_F(AsfScriptReader, TruncatedFilesNeverFail)
{
    AsfBuilder asf;
    asf.title(u"A movie").commandType(u"TEXT").commandType(u"URL");
    asf.command(5000, 0, u"first").command(6000, 1, u"http://example.org").command(7000, 0, std::u16string(300, u'z'));
    const std::string whole = asf.bytes();
    for (size_t length = 0; length <= whole.size(); ++length) {
        std::vector<Entry> entries = load(whole.substr(0, length));
        if (!entries.empty()) {
            EXPECT_EQ(entries.back(), endEntry) << length;
        }
        EXPECT_LE(entries.size(), 4u) << length;
    }
}

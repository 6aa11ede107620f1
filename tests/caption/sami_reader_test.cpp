#include "caption/caption.h"

#include "support/test_files.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace sublumen;
using testing_support::ScratchDir;

namespace {

using Entries = std::vector<std::pair<uint32_t, std::string>>;

Entries entriesOf(const Caption& track)
{
    Entries out;
    for (const ListNode* n = track.entries; n; n = n->next) {
        const auto* e = static_cast<const CaptionEntry*>(n->data);
        out.emplace_back(e->start, e->text);
    }
    return out;
}

Entries load(const ScratchDir& dir, const std::string& bytes, int* result = nullptr)
{
    Caption track(dir.write("file.smi", bytes).c_str());
    if (result)
        *result = track.loadResult;
    return entriesOf(track);
}

const std::pair<uint32_t, std::string> marker { endMarker, "" };

struct SamiCase {
    const char* name;
    std::string file;
    Entries expected;
};

void PrintTo(const SamiCase& c, std::ostream* os) { *os << c.name; }

class SamiReader : public testing::TestWithParam<SamiCase> { };

const std::string sync(uint32_t t) { return "<SYNC Start=" + std::to_string(t) + ">"; }

// The text with a byte-order mark, in UTF-16 of the given byte order.
std::string utf16(std::u16string_view text, bool littleEndian)
{
    std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t unit : text) {
        char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        out += littleEndian ? std::string { low, high } : std::string { high, low };
    }
    return out;
}

const SamiCase samiCases[] = {
    { "TypicalFile",
        "<SAMI>\r\n<HEAD>\r\n<TITLE>Sample</TITLE>\r\n</HEAD>\r\n<BODY>\r\n<SYNC Start=1000><P Class=KRCC>Hello<br>World\r\n"
        "<SYNC Start=3000><P Class=KRCC>&nbsp;\r\n</BODY>\r\n</SAMI>\r\n",
        { { 1000, "Hello\nWorld" }, { 3000, " " }, marker } },
    { "LineBreakJoinsWords", sync(1) + "Hello\nWorld" + sync(2) + "x", { { 1, "HelloWorld" }, { 2, "x" }, marker } },
    { "ClassesJoined", sync(5) + "<P Class=KRCC>\xc7\xd1\xb1\xdb<P Class=ENCC>English" + sync(9) + "x",
        { { 5, "\xc7\xd1\xb1\xdb" "English" }, { 9, "x" }, marker } },
    { "RubyAndClosingBr", sync(1) + "<ruby>base<rt>read</rt></ruby><center>a</br>b</center>" + sync(2),
        { { 1, "[base/read]a\rb" }, marker } },
    { "PercentAndEntitiesBeforeLast", sync(1) + "100% %41 50%% &nbsp;&nbsp;x  \ty" + sync(2) + "z",
        { { 1, "100% A 50% x y" }, { 2, "z" }, marker } },
    { "LastCaptionOnlyLosesNbsp", sync(1) + "a&nbsp;b &NBSP; %41 50%%  c&nbsp", { { 1, "a b &NBSP; %41 50%%  c&nbsp" }, marker } },
    { "NoSyncAtAll", "<HEAD>Title</HEAD>text<b>here</b>", { { 0, "Titletexthere" }, marker } },
    { "ByteOrderMarkSkipped", "\xEF\xBB\xBF" "plain<b>text</b>", { { 0, "plaintext" }, marker } },
    { "LowerCaseSync", "<sync start=500>x", { { 500, "x" }, marker } },
    { "BareSyncDropped", sync(1) + "a<SYNC>b", { { 1, "ab" }, marker } },
    { "SyncFollowedByTab", sync(1) + "a<SYNC\tStart=2>b", { { 1, "a" }, { 2, "b" }, marker } },
    { "QuotedAndSpacedStarts", "<SYNC start=\"9209\">a<SYNC Start = 4000>b<SYNC Start='7'>c<SYNC Start=\"x\">d",
        { { 7, "c" }, { 7, "d" }, { 4000, "b" }, { 9209, "a" }, marker } },
    { "TextBeforeFirstStartIsDropped", "intro<SYNC Start=x>more" + sync(3) + "a", { { 3, "a" }, marker } },
    { "GreaterThanOutsideTags", sync(1) + "a > b" + sync(2), { { 1, "a > b" }, marker } },
    { "TwoSyncsInARow", sync(1) + sync(2) + "a" + sync(3), { { 2, "a" }, marker } },
    { "StartBeyond32Bits", "<SYNC Start=99999999999>a<SYNC Start=4294967295>b",
        { { endMarker, "a" }, { endMarker, "b" }, marker } },
    { "UnterminatedTagDiscarded", sync(1) + "a<P Class=x" + std::string(3000, 'y'), { { 1, "a" }, marker } },
    { "LessThanInsideTagKeepsItOpen", sync(1) + "a<b<x>c", { { 1, "ac" }, marker } },
    { "NulBytesAddNothing", sync(1) + std::string("a\0b<S\0YNC Start=2>c", 19), { { 1, "ab" }, { 2, "c" }, marker } },
    { "CtrlZEndsInput", sync(1) + "a\x1a" + sync(2) + "b", { { 1, "a" }, marker } },
    { "LoneCarriageReturnDropped", sync(1) + "a\rb", { { 1, "ab" }, marker } },
    { "TextCutAt1023", sync(1) + std::string(2000, 'x') + sync(2) + std::string(1500, 'y'),
        { { 1, std::string(1023, 'x') }, { 2, std::string(1023, 'y') }, marker } },
    { "TagCutAt1023", sync(1) + "a<" + std::string(1500, 'q') + ">b" + "<SYNC " + std::string(1100, ' ') + "Start=5>c",
        { { 1, "ab" }, { 1, "c" }, marker } },
    // A byte-order mark decides the encoding and is not text; UTF-16 reaches the reader as UTF-8.
    { "Utf8BomIsNotText", "\xEF\xBB\xBFtext", { { 0, "text" }, marker } },
    { "Utf16LittleEndian", utf16(u"<SYNC Start=1>\uD55C<br>\U0001F600", true),
        { { 1, "\xED\x95\x9C\n\xF0\x9F\x98\x80" }, marker } },
    { "Utf16BigEndian", utf16(u"<SYNC Start=1>\uD55C", false), { { 1, "\xED\x95\x9C" }, marker } },
    { "Utf16OddLengthAndLoneSurrogate", utf16(u"<SYNC Start=1>a\xD800", true) + "\x62",
        { { 1, "a\xEF\xBF\xBD" }, marker } },
    { "BomAlone", "\xFE\xFF", { marker } },
};

}

TEST_P(SamiReader, ReadsEntries)
{
    ScratchDir dir;
    int result = 1;
    EXPECT_EQ(load(dir, GetParam().file, &result), GetParam().expected);
    EXPECT_EQ(result, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, SamiReader, testing::ValuesIn(samiCases),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SamiReaderFailures, MissingFileAndNonRegularFiles)
{
    ScratchDir dir;
    Caption missing(dir.file("none.smi").c_str());
    EXPECT_EQ(missing.loadResult, -1);
    EXPECT_EQ(missing.entries, nullptr);

    Caption folder(dir.path().c_str());
    EXPECT_EQ(folder.loadResult, -2);
    EXPECT_EQ(folder.entries, nullptr);

    std::string fifo = dir.file("pipe.smi");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Caption pipe(fifo.c_str());
    EXPECT_EQ(pipe.loadResult, -2);
}

TEST(SamiReaderFailures, UnreadableFile)
{
    ScratchDir dir;
    std::string locked = dir.write("locked.smi", "<SYNC Start=1>a");
    chmod(locked.c_str(), 0);
    if (access(locked.c_str(), R_OK) == 0)
        GTEST_SKIP() << "running with rights that read any file";
    Caption unreadable(locked.c_str());
    EXPECT_EQ(unreadable.loadResult, -2);
    EXPECT_EQ(unreadable.entries, nullptr);
}

TEST(SamiReaderFailures, BinaryGarbageGivesSortedEntriesEndingWithTheMarker)
{
    ScratchDir dir;
    std::string bytes;
    uint32_t state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1103515245u + 12345u;
        // Every byte but Ctrl-Z, which would end the input at once.
        char c = static_cast<char>(state >> 23);
        bytes += c == '\x1a' ? '\0' : c;
        if (i % 997 == 0)
            bytes += "><SYNC Start=" + std::to_string(state % 100000) + ">";
    }
    int result = 1;
    Entries entries = load(dir, bytes, &result);
    EXPECT_EQ(result, 0);
    ASSERT_GT(entries.size(), 100u);
    EXPECT_EQ(entries.back(), marker);
    for (size_t i = 1; i < entries.size(); ++i)
        EXPECT_LE(entries[i - 1].first, entries[i].first);
}

TEST(SamiReaderFailures, TenMegabyteLineOfCaptionsLoadsInOrder)
{
    ScratchDir dir;
    std::string line;
    uint32_t count = 0;
    while (line.size() < 10u * 1024 * 1024)
        line += "<SYNC Start=" + std::to_string(++count * 10) + "><P Class=KRCC>c";
    Entries entries = load(dir, line);
    ASSERT_EQ(entries.size(), count + 1u);
    EXPECT_EQ(entries.front(), (std::pair<uint32_t, std::string> { 10, "c" }));
    EXPECT_EQ(entries[count - 1], (std::pair<uint32_t, std::string> { count * 10, "c" }));
}

#include "caption/caption.h"
#include "caption/caption_formats.h"
#include "caption/caption_saving.h"
#include "caption/node_list.h"
#include "support/test_files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace sublumen;
using testing_support::readFile;
using testing_support::ScratchDir;

namespace {

std::vector<std::pair<uint32_t, std::string>> entriesOf(const Caption& track)
{
    std::vector<std::pair<uint32_t, std::string>> out;
    for (const ListNode* node = track.entries; node; node = node->next) {
        const auto* entry = static_cast<const CaptionEntry*>(node->data);
        out.emplace_back(entry->start, entry->text);
    }
    return out;
}

// "Ko" and "은" in CP949.
const std::string hangul = "\xC0\xBA";

struct FormatCase {
    const char* name;
    std::string bytes;
};

std::string utf16le(std::string_view ascii)
{
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// Every format saved with no change of time is itself, byte for byte (line ends, encodings, classes,
// styles, headers and a Ctrl-Z tail included); saved under a sync, it reads back with every caption where
// the sync showed it, keeps its first original beside it, and a second save keeps that original.
TEST(CaptionSaving, EachFormatRoundTripsAndMovesItsTimes)
{
    const FormatCase cases[] = {
        { "two.smi",
            "<SAMI>\r\n<HEAD><STYLE><!--\r\n.KRCC { Name:Korean; lang:ko-KR; }\r\n.ENCC { Name:English; lang:en-US; "
            "}\r\n"
            "--></STYLE></HEAD><BODY>\r\n<SYNC Start=1000><P Class=KRCC>"
                + hangul
                + "<br>Ko\r\n"
                  "<SYNC Start=\"1012\"><P Class=ENCC>En\r\n<SYNC Start = 3000><P Class=KRCC>&nbsp;\r\n"
                  "<sync start=4000><P Class=ENCC>&nbsp;\r\n</BODY></SAMI>\r\n\x1A<SYNC Start=9>tail" },
        { "wide.smi", utf16le("<SAMI><BODY><SYNC Start=500><P>Hello<SYNC Start=2500><P>&nbsp;</BODY></SAMI>\r\n") },
        { "viewer.sub",
            "[INFORMATION]\r\n[TITLE]x\r\n00:00:01.00,00:00:04.00\r\nHello[br]World\r\n\r\n[00:01:02.50]\r\nHi\r\n"
            "1:00 1:01\r\nLate\r\n" },
        { "rip.srt",
            "\xEF\xBB\xBF"
            "1\r\n00:00:01,000 --> 00:00:03,500\r\nOne\r\n\r\n2\r\n00:00:05,2 --> 00:00:07,000 X1:10\r\nTwo\r\n\r\n"
            "3\r\n00:01:00,000 --> 99:00:00,000\r\nUntil the end\r\n" },
        { "web.vtt",
            "WEBVTT\n\nSTYLE\n::cue { color: yellow }\n\nNOTE a note\n\n00:01.000 --> 00:03.000 line:0\n"
            "<v Ann>One <00:02.000>two\n\nid\n00:00:04.250 --> 00:00:06.000\nThree\n" },
        { "styled.ass",
            "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize\nStyle: "
            "Default,Arial,20\n\n"
            "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
            "Dialogue: 0,0:00:01.00,0:00:03.50,Default,,0,0,0,,{\\b1}One\\NTwo\n"
            "Comment: 0,0:00:02.00,0:00:02.50,Default,,0,0,0,,note\n"
            "Dialogue: 0,0:00:05.20,0:00:07.00,Default,,0,0,0,,Three, four\n" },
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.write(c.name, c.bytes);
        Caption shown(path.c_str());
        ASSERT_EQ(shown.loadResult, 0);
        const auto before = entriesOf(shown);

        const CaptionSaving unmoved = saveCaptionFile(path, shown, captionTimeMove(0, 1.0, {}, 0));
        EXPECT_TRUE(unmoved.saved) << unmoved.detail;
        EXPECT_EQ(readFile(path), c.bytes);
        // The writer alone, beside the saving: no time moved, no byte changed.
        const std::string text = c.bytes.starts_with("\xEF\xBB\xBF") ? c.bytes.substr(3) : c.bytes;
        if (!c.bytes.starts_with("\xFF\xFE")) {
            EXPECT_EQ(captionFormatOfText(path.c_str(), text).retime(text, [](int64_t t) { return t; }), text);
        }

        // Captions 2.5 s late: the caption at c is shown at stream time c + 2500.
        const CaptionSaving moved = saveCaptionFile(path, shown, captionTimeMove(-2500, 1.0, {}, 0));
        ASSERT_TRUE(moved.saved) << moved.detail;
        EXPECT_EQ(readFile(path + ".orig"), c.bytes);
        Caption saved(path.c_str());
        auto after = entriesOf(saved);
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < before.size(); ++i) {
            const uint32_t expected = before[i].first == endMarker ? endMarker : before[i].first + 2500;
            EXPECT_EQ(after[i].first, expected) << i;
            EXPECT_EQ(after[i].second, before[i].second) << i;
        }
        EXPECT_EQ(saved.classes.size(), shown.classes.size());
        EXPECT_EQ(saved.textEncoding, shown.textEncoding);

        // Saved again, back where it was: it reads as at first (a moved time keeps the usual spelling), and
        // the first original stays.
        const CaptionSaving back = saveCaptionFile(path, saved, captionTimeMove(2500, 1.0, {}, 0));
        ASSERT_TRUE(back.saved) << back.detail;
        EXPECT_EQ(entriesOf(Caption(path.c_str())), before);
        EXPECT_EQ(readFile(path + ".orig"), c.bytes);
    }
}

TEST(CaptionSaving, FailuresLeaveEveryFileAsItWas)
{
    ScratchDir dir;
    const std::string original = "1\n00:00:01,000 --> 00:00:02,000\nOne\n\n2\n00:00:03,000 --> 00:00:04,000\nTwo\n";
    const std::string path = dir.write("movie.srt", original);
    Caption shown(path.c_str());
    const CaptionTimeMove later = captionTimeMove(-1000, 1.0, {}, 0);

    // The name of the original is taken by a folder.
    std::filesystem::create_directory(path + ".orig");
    CaptionSaving saving = saveCaptionFile(path, shown, later);
    EXPECT_FALSE(saving.saved);
    EXPECT_EQ(saving.failure, "movie.srt.orig 파일을 만들 수 없음");
    EXPECT_EQ(readFile(path), original);
    std::filesystem::remove(path + ".orig");

    // The file changed on the disk since it was shown.
    dir.write("movie.srt", original + "\n3\n00:00:05,000 --> 00:00:06,000\nThree\n");
    saving = saveCaptionFile(path, shown, later);
    EXPECT_FALSE(saving.saved);
    EXPECT_EQ(saving.failure, "자막 파일이 바뀜");
    EXPECT_FALSE(std::filesystem::exists(path + ".orig"));

    // A new SubRip file never replaces one of its name.
    const std::vector<TextCue> cues { { 1000, 2000, "One" }, { 3000, 4000, "Two\nlines" } };
    saving = saveCuesAsSubRip(path, cues, later);
    EXPECT_FALSE(saving.saved);
    EXPECT_EQ(saving.failure, "movie.srt 파일이 이미 있음");
    const std::string fresh = dir.file("movie.kor.srt");
    EXPECT_EQ(subRipPathFor(dir.file("movie.mkv"), "kor"), fresh);
    saving = saveCuesAsSubRip(fresh, cues, later);
    ASSERT_TRUE(saving.saved) << saving.detail;
    EXPECT_EQ(
        readFile(fresh), "1\n00:00:02,000 --> 00:00:03,000\nOne\n\n2\n00:00:04,000 --> 00:00:05,000\nTwo\nlines\n\n");
    // Nothing but the saved files is left in the folder.
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 2u);
}

}

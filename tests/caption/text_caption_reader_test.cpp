#include "caption/caption.h"

#include "support/log_capture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <string>

using namespace sublumen;
using testing_support::LogCapture;
using testing_support::ScratchDir;

namespace {

// The entries of a track as "start:text", joined by " | ", line breaks as "/", long texts by their size.
std::string written(const Caption& track)
{
    std::string out;
    for (const ListNode* node = track.entries; node; node = node->next) {
        const auto* entry = static_cast<const CaptionEntry*>(node->data);
        std::string text = entry->text;
        if (text.size() > 40)
            text = "<" + std::to_string(text.size()) + " bytes>";
        for (char& c : text)
            c = c == '\n' ? '/' : c;
        out += (out.empty() ? "" : " | ") + std::to_string(entry->start) + ":" + text;
    }
    return out;
}

std::string srtCue(int n, const char* span, const std::string& text)
{
    return std::to_string(n) + "\n" + span + "\n" + text + "\n\n";
}

std::string manyStyles()
{
    std::string out = "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize\n";
    for (int i = 0; i < 10000; ++i)
        out += "Style: S" + std::to_string(i) + ",Arial,20\n";
    return out + "\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
                 "Dialogue: 0,0:00:01.00,0:00:02.00,S9999,,0,0,0,,styled\n";
}

std::string korean(size_t syllables)
{
    std::string out;
    for (size_t i = 0; i < syllables; ++i)
        out += "\xEA\xB0\x80";
    return out;
}

struct BadInputCase {
    const char* name;
    std::string bytes;
    int result;
    std::string entries;
    std::string logged;
};

void PrintTo(const BadInputCase& c, std::ostream* os) { *os << c.name; }

class TextCaptionReader : public testing::TestWithParam<BadInputCase> { };

}

TEST_P(TextCaptionReader, LoadsWhatCanBeReadAndLogsWhatIsDropped)
{
    ScratchDir dir;
    LogCapture log { dir };
    const BadInputCase& c = GetParam();
    Caption track(dir.write(c.name, c.bytes).c_str());
    EXPECT_EQ(track.loadResult, c.result);
    EXPECT_EQ(written(track), c.entries);
    EXPECT_NE(log.text().find(c.logged), std::string::npos) << log.text();
}

INSTANTIATE_TEST_SUITE_P(Table, TextCaptionReader,
    testing::Values(
        BadInputCase { "sami.srt", "\xEF\xBB\xBF <sami><body><SYNC Start=1000><P>Hi<SYNC Start=2000><P>&nbsp;</body></sami>", 0,
            "1000:Hi | 2000:  | 4294967295:", "is a SAMI file; read as SAMI.\n" },
        BadInputCase { "subrip.smi", srtCue(1, "00:00:01,000 --> 00:00:02,000", "Hi"), 0,
            "1000:Hi | 2000: | 4294967295:", "is a SubRip file; read as SubRip.\n" },
        BadInputCase { "backwards.srt",
            srtCue(1, "00:00:03,000 --> 00:00:01,000", "middle") + srtCue(2, "00:00:05,000 --> 00:00:06,000", "b")
                + srtCue(3, "00:00:09,000 --> 00:00:08,000", "last"),
            0, "3000:middle | 5000:b | 6000: | 4294967295:", "Caption:: 1 captions end before they start; dropped.\n" },
        BadInputCase { "huge.srt", srtCue(1, "00:00:01,000 --> 00:00:02,000", std::string(1 << 20, 'x') + "\n" + korean(1 << 18)),
            0, "1000:<2047 bytes> | 2000: | 4294967295:", "Caption:: 2 lines longer than 4000 bytes cut.\n" },
        BadInputCase { "long.srt", srtCue(1, "00:00:01,000 --> 00:00:02,000", korean(1300)), 0,
            "1000:<2046 bytes> | 2000: | 4294967295:", "Caption:: caption at 1000 of 3900 bytes cut.\n" },
        BadInputCase { "late.vtt",
            "WEBVTT\n\n25:00:00.000 --> 25:00:01.000\nday two\n\n30:00:00.000 --> 1193:00:00.000\nlate\n\n"
            "1194:00:00.000 --> 1195:00:00.000\nlater\n",
            0, "90000000:day two | 90001000: | 108000000:late | 4294967295:",
            "Caption:: 1 captions start after the last time a track holds; dropped.\n" },
        BadInputCase { "styles.ass", manyStyles(), 0, "1000:styled | 2000: | 4294967295:", "Caption:: UTF-8 file.\n" },
        BadInputCase { "cp949.SSA", manyStyles().substr(0, 200) + "\n[Events]\nFormat: Layer, Start, End, Style, Name, "
            "MarginL, MarginR, MarginV, Effect, Text\nDialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,\xC7\xD1\xB1\xDB\n", 0,
            "1000:\xED\x95\x9C\xEA\xB8\x80 | 2000: | 4294967295:", "Caption:: CP949 file.\n" },
        BadInputCase { "sami-converted.srt",
            srtCue(1, "00:00:01,000 --> 1193:04:37,382", "open") + srtCue(2, "00:00:05,000 --> 00:00:06,000", "b")
                + srtCue(3, "01:45:00,500 --> 1193:04:37,382", "last&nbsp;line"),
            0, "1000:open | 5000:b | 6000: | 6300500:last line | 4294967295:",
            "Caption:: 2 captions end more than 24 hours in; shown until the next caption.\n" },
        BadInputCase { "style.vtt",
            "WEBVTT\n\nSTYLE\n::cue { color: red }\n\n::cue(b) { color: blue }\n\n"
            "00:00:01.000 --> 00:00:02.000\n<b>Hi</b> &amp; <c.yellow>you</c>\n",
            0, "1000:Hi & you | 2000: | 4294967295:", "Caption:: UTF-8 file.\n" },
        BadInputCase { "region.vtt",
            "WEBVTT\nRegion: id=r1 width=40%\n\nREGION\nid:r2 width:40%\n\nNOTE two\nlines\n\ncue-1\n"
            "00:00:01.000 --> 00:00:02.000 region:r2 align:start\n<v Bob>Bye</v>\n",
            0, "1000:Bye | 2000: | 4294967295:", "Caption:: UTF-8 file.\n" },
        BadInputCase { "blank-line.vtt",
            "WEBVTT\r\n\r\n1\r\n00:00:01.000 --> 00:00:02.000\r\none\r\n \r\n2\r\n00:00:03.000 --> 00:00:04.000\r\n"
            " \r\ntwo<00:00:03.500> &lt;3\r\n",
            0, "1000:one | 2000: | 3000:two <3 | 4000: | 4294967295:", "Caption:: UTF-8 file.\n" },
        BadInputCase { "no-fraction.vtt", "WEBVTT\n\n00:01:39 --> 00:01:40\nno fraction\n\n01:41.5 --> 01:42.000\nno hours", 0,
            "99000:no fraction | 100000: | 101500:no hours | 102000: | 4294967295:", "Caption:: UTF-8 file.\n" },
        BadInputCase { "fraction.srt", "\xEF\xBB\xBFWEBVTT\n\n00:00:04.08 --> 00:00:05.1\nx\n", 0, "4080:x | 5100: | 4294967295:",
            "is a WebVTT file; read as WebVTT.\n" },
        BadInputCase { "binary.vtt", std::string("\x00\x01\xFF garbage", 11), 0, "4294967295:", "Caption:: no captions read.\n" }),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

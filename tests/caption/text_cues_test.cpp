#include "caption/text_cues.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using sublumen::entriesOfCues;
using sublumen::plainCueText;
using sublumen::TextCue;

namespace {

struct CueCase {
    const char* name;
    std::vector<TextCue> cues;
    std::string expected;  // "start:text" per entry, joined by " | ", line breaks as "/"
};

void PrintTo(const CueCase& c, std::ostream* os) { *os << c.name; }

std::string written(const std::vector<sublumen::ClassEntry>& entries)
{
    std::string out;
    for (const auto& e : entries) {
        if (!out.empty())
            out += " | ";
        out += std::to_string(e.start) + ":";
        for (char c : e.text)
            out += c == '\n' ? '/' : c;
    }
    return out;
}

class EntriesOfCues : public testing::TestWithParam<CueCase> { };

}

TEST_P(EntriesOfCues, GivesEntriesWhereTheShownTextChanges)
{
    EXPECT_EQ(written(entriesOfCues(GetParam().cues)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, EntriesOfCues,
    testing::Values(CueCase { "apart", { { 1000, 2000, "a" }, { 3000, 4000, "b" } }, "1000:a | 2000: | 3000:b | 4000:" },
        CueCase { "touching", { { 1000, 2000, "a" }, { 2000, 3000, "b" } }, "1000:a | 2000:b | 3000:" },
        CueCase { "overlap", { { 1000, 3000, "a" }, { 2000, 4000, "b" } }, "1000:a | 2000:a/b | 3000:b | 4000:" },
        CueCase { "inside", { { 1000, 5000, "a" }, { 2000, 3000, "b" } }, "1000:a | 2000:a/b | 3000:a | 5000:" },
        CueCase { "out of order", { { 3000, 4000, "b" }, { 1000, 2000, "a" } }, "1000:a | 2000: | 3000:b | 4000:" },
        CueCase { "equal starts keep their order", { { 1000, 2000, "z" }, { 1000, 3000, "a" } }, "1000:z/a | 2000:a | 3000:" },
        CueCase { "same span twice", { { 1000, 2000, "a" }, { 1000, 2000, "a" } }, "1000:a/a | 2000:" },
        CueCase { "end before start", { { 2000, 1000, "x" }, { 3000, 3000, "y" }, { 4000, 5000, "b" } }, "4000:b | 5000:" },
        CueCase { "empty text", { { 0, 1000, "" }, { 500, 1500, "b" } }, "0: | 500:b | 1500:" },
        CueCase { "same text on", { { 0, 1000, "a" }, { 500, 1500, "" }, { 1000, 2000, "a" } }, "0:a | 2000:" },
        CueCase { "last moment", { { 4294967294u, 4294967295u, "a" } }, "4294967294:a | 4294967295:" },
        CueCase { "none", {}, "" }),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST(EntriesOfCues, HoldsManyRunningCuesToABoundedText)
{
    std::vector<TextCue> cues;
    for (uint32_t i = 0; i < 20; ++i)
        cues.push_back({ i, 100, std::string(1000, char('a' + i)) });
    auto entries = entriesOfCues(cues);
    // The third cue fills the text; later ones change nothing that is shown.
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[1].text.size(), 2001u);
    EXPECT_EQ(entries[2].text.size(), sublumen::maximumShownText);
    EXPECT_EQ(entries.back().start, 100u);
    EXPECT_EQ(entries.back().text, "");
}

namespace {

struct PlainCase {
    std::string input;
    bool assLine;
    std::string expected;
};

void PrintTo(const PlainCase& c, std::ostream* os) { *os << testing::PrintToString(c.input); }

class PlainCueText : public testing::TestWithParam<PlainCase> { };

}

TEST_P(PlainCueText, RemovesMarkup)
{
    EXPECT_EQ(plainCueText(GetParam().input, GetParam().assLine), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, PlainCueText,
    testing::Values(PlainCase { "0,0,Default,,0,0,0,,Hello, world", true, "Hello, world" },
        PlainCase { "3,0,Default,,0,0,0,,{\\i1}one{\\i0}\\Ntwo\\nthree", true, "one\ntwo\nthree" },
        PlainCase { "0,0,Default,,0,0,0,,a\\hb {\\pos(10,20)\\c&HFF&}c", true, "a b c" },
        PlainCase { "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,text", true, "text" },
        PlainCase { "0,0,Default,,0,0", true, "" },
        PlainCase { "<i>slanted</i> <font color=\"red\">red</font><br/>next", false, "slanted red\nnext" },
        PlainCase { "1 < 2 and 3 > 2 {open <b", false, "1 < 2 and 3 > 2 {open <b" },
        PlainCase { "\xea\xb0\x80 \\N\r\n \xeb\x82\x98\\", false, "\xea\xb0\x80 \n\n \xeb\x82\x98\\" },
        PlainCase { "  {\\an8}  ", true, "" },
        PlainCase { "0,0,Sign,,0,0,0,,{\\p1}m 0 0 l 10 0 10 10{\\p0}sign", true, "sign" },
        PlainCase { "", false, "" }));

TEST(CueText, WebVttTagsAndCharacterReferences)
{
    using sublumen::decodeCharacterReferences;
    using sublumen::plainWebVttText;
    EXPECT_EQ(decodeCharacterReferences("&amp;&lt;&gt;&quot;&apos;&lrm;&nbsp;|&nbsp|&amp x"), "&<>\"' | |& x");
    EXPECT_EQ(decodeCharacterReferences("&#233;&#xE9;&#X1F600;"), "\xC3\xA9\xC3\xA9\xF0\x9F\x98\x80");
    // Not references: a word going on after a bare name, unknown names, and code points that are none.
    EXPECT_EQ(decodeCharacterReferences("&nbspx &apos &bogus; &#xD800; &#0; &#1114112; &#12 &"),
        "&nbspx &apos &bogus; &#xD800; &#0; &#1114112; &#12 &");
    EXPECT_EQ(plainWebVttText(" <v.loud Ann>1 &lt; 2</v><br>\n<ruby>a<rt>b</rt></ruby> <00:00:01.500>1 < 2 > 0\n3 <4 &nbsp;"),
        "1 < 2\n\nab 1 < 2 > 0\n3 <4");
    EXPECT_EQ(plainWebVttText("\xE2\x80\x8E&lrm;a\xE2\x80\x8B\xE2\x80\x8F" "b\xE2\x80\x94"), "ab\xE2\x80\x94");
}

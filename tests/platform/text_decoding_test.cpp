#include "platform/gdi/text_decoding.h"

#include <gtest/gtest.h>

using platform::decodeForDisplay;

namespace {

struct Decoding {
    const char* name;
    std::string bytes;
    std::u32string expected;
};

void PrintTo(const Decoding& d, std::ostream* os) { *os << d.name; }

class TextDecoding : public ::testing::TestWithParam<Decoding> { };

}

TEST_P(TextDecoding, DecodesForDisplay)
{
    EXPECT_EQ(decodeForDisplay(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, TextDecoding,
    ::testing::Values(Decoding { "Ascii", "Sublumen & co", U"Sublumen & co" },
        Decoding { "Utf8Korean", "\xED\x95\x9C\xEA\xB8\x80", U"\uD55C\uAE00" },
        Decoding { "Utf8FourBytes", "a\xF0\x9F\x98\x80", U"a\U0001F600" },
        Decoding { "Cp949Korean", "\xC7\xD1\xB1\xDB", U"\uD55C\uAE00" },
        // 똠 is UHC-only: plain EUC-KR would not decode it.
        Decoding { "Cp949ExtendedSyllable", "\x8C\x63", U"\uB620" },
        Decoding { "Cp949BadTrailKeepsTheAsciiAfterIt", "\xA1\x20x", U"\uFFFD x" },
        Decoding { "Cp949LeadCutAtTheEnd", "\xC7\xD1\xB1", U"\uD55C\uFFFD" },
        // The converter passes over this unassigned pair before it reports it.
        Decoding { "Cp949UnassignedPairKeepsWhatFollows", "\xA2\xE8\xC7\xD1x", U"\uFFFD\uD55Cx" },
        Decoding { "Cp949UnassignedPairAtTheEnd", "\xDF<\xFF\xFE\xA2\xE8", U"\uFFFD<\uFFFD\uFFFD\uFFFD" },
        Decoding { "ByteNoCodePageKnows", "a\xFF" "b", U"a\uFFFDb" },
        // An overlong UTF-8 slash is not UTF-8, so the text is read as CP949, where C0 AF is 유.
        Decoding { "OverlongIsNotUtf8", "\xC0\xAF", U"\uC720" },
        Decoding { "Utf8SurrogateIsNotUtf8", "\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD" },
        Decoding { "Empty", "", U"" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextDecoding, Utf8RoundTripsThroughTheEncoder)
{
    const std::u32string text = U"가\u00E9\U0001F600z";
    EXPECT_TRUE(platform::isValidUtf8(platform::encodeUtf8(text)));
    EXPECT_EQ(decodeForDisplay(platform::encodeUtf8(text)), text);
}

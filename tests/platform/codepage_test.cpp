#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string toUtf8(const std::u16string& wide)
{
    const auto* units = reinterpret_cast<const WCHAR*>(wide.data());
    int count = static_cast<int>(wide.size());
    int needed = WideCharToMultiByte(CP_ACP, 0, units, count, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed), '\0');
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, units, count, out.data(), needed, nullptr, nullptr), needed);
    return out;
}

std::u16string toWide(const std::string& bytes)
{
    int count = static_cast<int>(bytes.size());
    int needed = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), count, nullptr, 0);
    std::u16string out(static_cast<size_t>(needed), u'\0');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), count, reinterpret_cast<WCHAR*>(out.data()), needed), needed);
    return out;
}

}

TEST(CodePage, WideToUtf8)
{
    const std::vector<std::pair<std::u16string, std::string>> cases {
        { u"plain", "plain" },
        { u"\u00B4\u0134", "\xC2\xB4\xC4\xB4" },
        { u"안녕", "안녕" },
        { u"\U0001F600", "\xF0\x9F\x98\x80" },
        { u"\xD800", "\xEF\xBF\xBD" },  // lone high surrogate
        { u"\xDC00x", "\xEF\xBF\xBDx" },  // lone low surrogate
        { u"\xD800\xD800\xDC00", "\xEF\xBF\xBD\xF0\x90\x80\x80" },
        { std::u16string(u"a\0b", 3), std::string("a\0b", 3) },  // an explicit count passes NUL units
    };
    for (const auto& [wide, utf8] : cases)
        EXPECT_EQ(toUtf8(wide), utf8);
}

TEST(CodePage, Utf8ToWideReplacesEachIllFormedSequence)
{
    const std::vector<std::pair<std::string, std::u16string>> cases {
        { "plain", u"plain" },
        { "안녕", u"안녕" },
        { "\xF0\x9F\x98\x80", u"\U0001F600" },
        { "\xB4\xD9", u"\xFFFD\xFFFD" },  // CP949 bytes are not UTF-8
        { "\xE0\x80\x80", u"\xFFFD\xFFFD\xFFFD" },  // overlong
        { "\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD" },  // encoded surrogate
        { "\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD" },  // past U+10FFFF
        { "\xE2\x82x", u"\xFFFDx" },  // a cut sequence does not swallow what follows
        { "\xEF\xBF\xBD", u"\xFFFD" },
    };
    for (const auto& [utf8, wide] : cases)
        EXPECT_EQ(toWide(utf8), wide) << utf8;
}

TEST(CodePage, CountsBuffersAndCodePages)
{
    const WCHAR wide[] = { 'a', 0xAC00, 0 };
    char out[8];
    // -1 converts through the terminator and counts it.
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr), 5);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, out, sizeof out, nullptr, nullptr), 5);
    EXPECT_STREQ(out, "a가");
    // Too small a buffer fails as a whole; a character is never written in part past the limit.
    out[3] = 'Z';
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, 2, out, 3, nullptr, nullptr), 0);
    EXPECT_EQ(out[3], 'Z');
    EXPECT_EQ(WideCharToMultiByte(949, 0, wide, 2, out, sizeof out, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, 0, out, sizeof out, nullptr, nullptr), 0);

    // A path of 260 wide characters, as the media stream converts one.
    std::string path = "/movies/" + std::string(300, 'm');
    WCHAR widePath[260];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, 260), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "/m/영화.avi", -1, widePath, 260), 10);
    EXPECT_EQ(widePath[3], 0xC601);
    EXPECT_EQ(widePath[9], 0);
    EXPECT_EQ(MultiByteToWideChar(949, 0, "a", -1, widePath, 260), 0);
}

TEST(CodePage, Utf8Validity)
{
    EXPECT_TRUE(platform::isValidUtf8("", 0));
    EXPECT_TRUE(platform::isValidUtf8("abc \xC2\xB4 \xEA\xB4\xB4", 10));
    EXPECT_TRUE(platform::isValidUtf8("\xF0\x9F\x98\x80", 4));
    EXPECT_FALSE(platform::isValidUtf8("\xB4\xD9", 2));
    EXPECT_FALSE(platform::isValidUtf8("\xC2", 1));
    EXPECT_FALSE(platform::isValidUtf8("\xC0\xAF", 2));
    EXPECT_FALSE(platform::isValidUtf8("\xED\xB0\x80", 3));
}

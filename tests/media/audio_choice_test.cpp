#include "media/audio_choice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sublumen {
namespace {

struct StartCase {
    const char* name;
    std::vector<AudioTrack> tracks;
    std::string remembered;
    const char* audiolang;
    int32_t expected;
};

TEST(AudioChoice, StartsWithRememberedThenLanguageThenDefaultThenFirst)
{
    const std::vector<AudioTrack> dubbed = { { 1, "eng", false }, { 2, "kor", true }, { 3, "", false }, { 4, "KOR", false } };
    const StartCase rows[] = { StartCase { "no stream", {}, "1", "kor", -1 },
        StartCase { "default flag without a language", dubbed, "", "", 2 },
        StartCase { "first of the language", { { 1, "eng", false }, { 2, "jpn", true }, { 5, "eng", false } }, "", "eng", 1 },
        StartCase { "language in other case", { { 1, "eng", true }, { 4, "KOR", false } }, "", "kor", 4 },
        StartCase { "language absent: default", dubbed, "", "fre", 2 },
        StartCase { "no default: first", { { 3, "", false }, { 7, "", false } }, "", "kor", 3 },
        StartCase { "untagged streams are never a language", { { 3, "", false }, { 7, "", true } }, "", "", 7 },
        StartCase { "remembered beats the language", dubbed, "3", "kor", 3 },
        StartCase { "remembered stream gone", dubbed, "9", "eng", 1 },
        StartCase { "remembered text damaged", dubbed, "1x", "", 2 },
        StartCase { "remembered negative", dubbed, "-1", "", 2 },
        StartCase { "remembered huge", dubbed, "99999999999", "", 2 } };
    for (const StartCase& c : rows)
        EXPECT_EQ(startAudioOf(c.tracks, c.remembered, c.audiolang), c.expected) << c.name;
}

}
}

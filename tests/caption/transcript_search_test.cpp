#include "caption/transcript_search.h"

#include <gtest/gtest.h>

namespace sublumen {
namespace {

struct MatchCase {
    const char* text;
    const char* query;
    bool found;
};

TEST(TranscriptSearch, MatchesAsKoreanUsersType)
{
    const MatchCase cases[] = {
        // Whole syllables, blanks on either side not counting.
        { "정말 괜찮아?", "괜찮아", true },
        { "정말 괜찮아?", "말괜", true },
        { "정말 괜찮아?", "괜 찮 아", true },
        { "정말 괜찮아?", "괜찬아", false },
        // The syllable being typed: every state the keyboard passes through finds the line.
        { "정말 괜찮아?", "괜찬", true },
        { "정말 괜찮아?", "괘", true },
        { "정말 괜찮아?", "괜차", true },
        { "정말 괜찮아?", "괜ㅊ", true },
        { "가게에 가자", "각", true },   // 가 + the ㄱ that moves on to 게
        { "가게에 가자", "간", false },
        { "고아원", "과", false },      // ㅗ ㅏ never passes through 고 아
        { "괜찮아", "괸", false },
        // Only the last syllable may still be unfinished.
        { "가게", "각게", false },
        // Initial consonants, alone and mixed with syllables.
        { "정말 괜찮아?", "ㄱㅊㅇ", true },
        { "정말 괜찮아?", "ㅈㅁㄱ", true },
        { "정말 괜찮아?", "ㄱㅊㄱ", false },
        { "정말 괜찮아?", "정ㅁ", true },
        { "까마귀", "ㄲㅁ", true },
        { "가마귀", "ㄲㅁ", false },
        // Latin: case and blanks ignored, fullwidth letters as ASCII.
        { "Are you OK?", "you ok", true },
        { "Are you OK?", "youok?", true },
        { "Are you OK?", "okay", false },
        { "ＯＫ ＴＶ", "oktv", true },
        { "Ça va, ÉCOLE", "ça va, école", true },
        // Mixed scripts and letters decomposed as some files store them (ᄀ ᅫ ᆫ for 괜).
        { "OK, 괜찮아", "k, 괜", true },
        { "\xE1\x84\x80\xE1\x85\xAB\xE1\x86\xAB\xEC\xB0\xAE\xEC\x95\x84", "ㄱㅊㅇ", true },
        // A lone consonant also finds itself, and queries of blanks find everything.
        { "ㅋㅋㅋ 웃기다", "ㅋㅋ", true },
        { "아무 말", "   ", true },
        { "", "ㄱ", false },
    };
    for (const MatchCase& c : cases)
        EXPECT_EQ(transcriptMatches(searchFolded(c.text), searchFolded(c.query)), c.found)
            << "\"" << c.query << "\" in \"" << c.text << "\"";
}

TEST(TranscriptSearch, FindsTheLinesInOrderAndKeepsThemApart)
{
    TranscriptSearch search;
    for (const char* text : { "괜찮아", "안녕", "", "   ", "정말 괜찮아요", "괜", "찮아" })
        search.add(text);
    EXPECT_EQ(search.find("ㄱㅊㅇ"), (std::vector<uint32_t> { 0, 4 }));
    // A match never runs from one line into the next.
    EXPECT_EQ(search.find("괜찮"), (std::vector<uint32_t> { 0, 4 }));
    EXPECT_EQ(search.find(" ").size(), 7u);
    // A query longer than every line, and one of 500 characters, find nothing.
    EXPECT_TRUE(search.find(std::string(500 * 3, 'a')).empty());
    EXPECT_TRUE(search.find("\xFF\xFE").empty());
}

}
}

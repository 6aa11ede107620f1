#include "caption/sound_descriptions.h"

#include <gtest/gtest.h>
#include <string>

using sublumen::withoutSoundDescriptions;

namespace {

struct DescriptionCase {
    std::string input;
    std::string expected;
};

void PrintTo(const DescriptionCase& c, std::ostream* os) { *os << testing::PrintToString(c.input); }

class SoundDescriptions : public testing::TestWithParam<DescriptionCase> { };

}

TEST_P(SoundDescriptions, LeavesTheDialogue)
{
    EXPECT_EQ(withoutSoundDescriptions(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, SoundDescriptions,
    testing::Values(
        // Nothing but a description: the caption drops out.
        DescriptionCase { "[음악]", "" }, DescriptionCase { "(웃음)", "" }, DescriptionCase { "[MUSIC]", "" },
        DescriptionCase { "（문 닫히는 소리）\r\n【 천둥 】", "" },
        // Descriptions inside and around the dialogue; the blanks they leave go too.
        DescriptionCase { "(laughs) I know [sighs] you do.", "I know you do." },
        DescriptionCase { "안녕하세요 (웃음).", "안녕하세요." },
        // Nested, spanning lines, mixed kinds closed out of order.
        DescriptionCase { "[음악 (잔잔한) 계속]\n가자", "가자" },
        DescriptionCase { "[door\nslams] Who's there?", "Who's there?" },
        DescriptionCase { "(whispers [softly) Go.", "Go." },
        // Brackets that never close, or close nothing, are text.
        DescriptionCase { "(웃음 [음악] 그래", "(웃음 그래" }, DescriptionCase { "I said (maybe", "I said (maybe" },
        DescriptionCase { "a) first\nb) second", "a) first\nb) second" },
        // Lyrics between notes, after a note, up to a closing note.
        DescriptionCase { "♪ 사랑해 ♪\n- 무슨 노래야?", "무슨 노래야?" },
        DescriptionCase { "♪ Happy birthday to you", "" }, DescriptionCase { "to you ♫", "" },
        DescriptionCase { "♪ la ♪ she sang", "she sang" },
        // Speaker labels, with and without dialogue dashes; two speakers keep their dashes.
        DescriptionCase { "JOHN: Get down!", "Get down!" }, DescriptionCase { "MAN ON RADIO: Hello", "Hello" },
        DescriptionCase { "- 민수: 안녕\n- 영희: 응", "- 안녕\n- 응" },
        DescriptionCase { "남자 2： 누구야?", "누구야?" }, DescriptionCase { "JOHN (O.S.): Wait", "Wait" },
        DescriptionCase { "- [laughs]\n- Hi", "Hi" }, DescriptionCase { "JOHN:", "" },
        // Not labels: times, mixed case, words after the colon, too many words.
        DescriptionCase { "10:30에 만나", "10:30에 만나" }, DescriptionCase { "At 10:30: coffee", "At 10:30: coffee" },
        DescriptionCase { "Listen: it works", "Listen: it works" },
        DescriptionCase { "RATIO 3:2 IS FINE", "RATIO 3:2 IS FINE" },
        DescriptionCase { "ONE TWO THREE FOUR: go", "ONE TWO THREE FOUR: go" },
        // Untouched captions come back byte for byte, line breaks and broken UTF-8 included.
        DescriptionCase { "a\rb\r\n\xff\xc3", "a\rb\r\n\xff\xc3" }, DescriptionCase { "", "" }));

// SSA/ASS events keep the tags that place and style them; line breaks stay theirs.
TEST(SoundDescriptionEvents, KeepTheirOpeningTags)
{
    using sublumen::eventWithoutSoundDescriptions;
    EXPECT_EQ(eventWithoutSoundDescriptions("{\\an8\\pos(10,20)}[음악]\\N{\\i1}가자{\\i0}"), "{\\an8\\pos(10,20)}가자");
    EXPECT_EQ(eventWithoutSoundDescriptions("{\\i1}(laughs){\\i0}"), "");
    EXPECT_EQ(eventWithoutSoundDescriptions("{\\b1}Hello\\Nthere{\\b0}"), "{\\b1}Hello\\Nthere{\\b0}");
}

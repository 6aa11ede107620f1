// TV closed captions: the CEA-708 service decoder (windows, pens, Korean text, delays, resets), the
// CEA-608 channel decoder, and the caption data the fixture writer sends through both.
#include "platform/closed_captions/cc_data.h"
#include "platform/mmstream/tv_captions.h"

#include "tv_caption_data.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace std::chrono_literals;
using platform::Cea608Decoder;
using platform::Cea708Decoder;
using platform::CaptionClock;
using platform::DtvccPair;

namespace {

// What a service shows: its windows' texts top to bottom, joined by " | ".
std::string shown(const platform::CaptionScreen& screen)
{
    std::string out;
    for (const auto& w : screen)
        out += (out.empty() ? "" : " | ") + w.text;
    return out;
}

std::vector<DtvccPair> pairsOf(const std::vector<uint8_t>& packet)
{
    std::vector<DtvccPair> pairs;
    for (size_t i = 0; i + 1 < packet.size(); i += 2)
        pairs.push_back({i == 0, {packet[i], packet[i + 1]}});
    return pairs;
}

struct Step {
    int ms;
    std::vector<uint8_t> block;  // one service block of service 1 (none: a picture without captions)
    int service = 1;
};

struct Cea708Case {
    const char* name;
    std::vector<Step> steps;
    const char* expected;  // service 1's screen after the last step
};

// Window 0 defined visible (0x20) or hidden (0x00), rows and columns, anchored at the top.
std::vector<uint8_t> define(int window, bool visible, int rows = 1, int anchorPercent = 0)
{
    return {static_cast<uint8_t>(0x98 + window), static_cast<uint8_t>(visible ? 0x20 : 0x00),
        static_cast<uint8_t>(0x80 | anchorPercent), 0, static_cast<uint8_t>(rows - 1), 31, 0x09};
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> text(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

class Cea708Commands : public testing::TestWithParam<Cea708Case> { };

TEST_P(Cea708Commands, ShowWhatTheStandardSays)
{
    Cea708Decoder decoder;
    int sequence = 0;
    for (const Step& step : GetParam().steps) {
        std::vector<DtvccPair> pairs;
        if (!step.block.empty())
            pairs = pairsOf(fixtures::cea708Packet(sequence++ & 3, {{step.service, step.block}}));
        decoder.decode(pairs, CaptionClock(step.ms));
    }
    EXPECT_EQ(shown(decoder.screenOf(1)), GetParam().expected);
}

const Cea708Case cea708Cases[] = {
    {"TextInAVisibleWindow", {{0, define(0, true) + text("Hi")}}, "Hi"},
    {"HiddenUntilDisplayed", {{0, define(0, false) + text("Hi")}}, ""},
    {"DisplayWindowsShows", {{0, define(0, false) + text("Hi") + std::vector<uint8_t> {0x89, 0x01}}}, "Hi"},
    {"HideWindowsHides", {{0, define(0, true) + text("Hi") + std::vector<uint8_t> {0x8A, 0x01}}}, ""},
    {"ToggleTwiceShows", {{0, define(0, true) + text("Hi") + std::vector<uint8_t> {0x8B, 0x01, 0x8B, 0x01}}}, "Hi"},
    {"ClearWindowsEmpties", {{0, define(0, true) + text("Hi") + std::vector<uint8_t> {0x88, 0x01}}}, ""},
    {"DeletedWindowTakesNoText", {{0, define(0, true) + text("Hi") + std::vector<uint8_t> {0x8C, 0x01} + text("x")}}, ""},
    {"RedefinedWindowKeepsItsText", {{0, define(0, true) + text("Hi") + define(0, true)}}, "Hi"},
    {"CarriageReturnStartsARow", {{0, define(0, true, 2) + text("Ab\rCd")}}, "Ab\nCd"},
    {"CarriageReturnOnTheLastRowScrolls", {{0, define(0, true, 2) + text("A\rB\rC")}}, "B\nC"},
    {"HorizontalCarriageReturnErasesTheRow", {{0, define(0, true) + text("Ab\x0e" "C")}}, "C"},
    {"BackspaceErases", {{0, define(0, true) + text("Abc\x08" "d")}}, "Abd"},
    {"FormFeedClearsAndHomes", {{0, define(0, true, 2) + text("Ab\rCd\x0c" "E")}}, "E"},
    {"PenLocationMovesThePen", {{0, define(0, true, 3) + text("A") + std::vector<uint8_t> {0x92, 0x02, 0x04} + text("B")}},
        "A\nB"},
    {"PenAttributesAndColoursChangeNoText",
        {{0, define(0, true) + std::vector<uint8_t> {0x90, 0x05, 0x00, 0x91, 0x2A, 0x00, 0x00} + text("x")}}, "x"},
    {"WindowsTopToBottom",
        {{0, define(1, true, 1, 80) + text("lower") + define(0, true, 1, 10) + text("upper")}}, "upper | lower"},
    {"SetCurrentWindowChoosesTheWindow",
        {{0, define(0, true, 1, 10) + define(1, true, 1, 80) + std::vector<uint8_t> {0x80} + text("top")}}, "top"},
    {"KoreanP16Pairs", {{0, define(0, true) + std::vector<uint8_t> {0x18, 0xC7, 0xD1, 0x18, 0xB1, 0xDB}}}, "한글"},
    {"P16ZeroHighByteIsItsLowByte",
        {{0, define(0, true) + std::vector<uint8_t> {0x18, 0xC7, 0xD1, 0x18, 0x00, 0x20, 0x18, 0xB1, 0xDB, 0x18, 0x00,
                 0x00, 0x18, 0x00, 0x21}}},
        "한 글!"},
    {"BareEucKrPairsInG1", {{0, define(0, true) + std::vector<uint8_t> {0xC7, 0xD1, 0xB1, 0xDB, 0x20, 0xB0, 0xA1}}},
        "한글 가"},
    {"InvalidKoreanReplaced",
        {{0, define(0, true) + std::vector<uint8_t> {0x18, 0xA2, 0xE8, 0x18, 0x20, 0x41} + text("ok")}},
        "\xEF\xBF\xBD\xEF\xBF\xBD" "ok"},
    {"LoneG1ByteIsLatin1", {{0, define(0, true) + text("caf\xe9")}}, "café"},
    {"G2AndTheMusicNote", {{0, define(0, true) + std::vector<uint8_t> {0x10, 0x25, 0x7F, 0x10, 0x39, 0x10, 0xA0}}},
        "…♪™_"},
    {"C2C3AndP16CodesSkippedWhole",
        {{0, define(0, true) + std::vector<uint8_t> {0x10, 0x09, 0x41, 0x10, 0x84, 1, 2, 3, 4, 0x10, 0x90, 0x02, 0x41,
                 0x42, 0x11, 0x41, 0x19, 0x41, 0x41} + text("x")}},
        "x"},
    {"DelayHoldsTheService", {{0, define(0, true) + std::vector<uint8_t> {0x8D, 10} + text("Hi")}, {900, {}}}, ""},
    {"DelayEndsOnTime", {{0, define(0, true) + std::vector<uint8_t> {0x8D, 10} + text("Hi")}, {1000, {}}}, "Hi"},
    {"DelayCancelEndsItAtOnce",
        {{0, define(0, true) + std::vector<uint8_t> {0x8D, 100} + text("Hi")}, {100, {0x8E}}}, "Hi"},
    {"ResetDuringADelayFlushesWhatItHeld",
        {{0, define(0, true) + text("A") + std::vector<uint8_t> {0x8D, 100} + text("B")},
            {100, std::vector<uint8_t> {0x8F} + define(0, true) + text("C")}},
        "C"},
    {"ResetDeletesEveryWindow", {{0, define(0, true) + text("A")}, {40, {0x8F}}}, ""},
    {"CommandsForWindowsNeverDefinedAreHarmless",
        {{0, std::vector<uint8_t> {0x89, 0xFF, 0x88, 0xFF, 0x8A, 0x02, 0x92, 0x01, 0x01, 0x97, 0, 0, 0, 0, 0x81}
                 + text("x")}},
        ""},
    {"OtherServicesKeptApart", {{0, define(0, true) + text("one")}, {0, define(0, true) + text("two"), 2}}, "one"},
    {"PenPastTheLastRowStaysInside", {{0, define(0, true, 2) + std::vector<uint8_t> {0x92, 0x0F, 0x00} + text("low")}},
        "low"},
};

INSTANTIATE_TEST_SUITE_P(Table, Cea708Commands, testing::ValuesIn(cea708Cases),
    [](const testing::TestParamInfo<Cea708Case>& info) { return info.param.name; });

TEST(Cea708Decoder, BrokenPacketsAreDroppedAndTheRestStillDecodes)
{
    Cea708Decoder decoder;
    auto packet = [](int sequence, int service, std::vector<uint8_t> block) {
        return fixtures::cea708Packet(sequence, {{service, std::move(block)}});
    };
    // A recording that starts inside a packet: the pieces before the first packet start are passed over.
    std::vector<uint8_t> first = packet(0, 1, define(0, true) + text("Hi"));
    std::vector<DtvccPair> cut = pairsOf(first);
    cut.erase(cut.begin());
    decoder.decode(cut, 0ms);
    // A packet cut short by the next one; a block that claims more bytes than its packet has; an
    // extended service number below 7; a wrong sequence number; a command cut at its block's end.
    std::vector<DtvccPair> pairs = pairsOf(packet(0, 1, define(0, true) + text("lost")));
    pairs.resize(2);
    decoder.decode(pairs, 10ms);
    std::vector<uint8_t> liar = packet(1, 1, text("ab"));
    liar[1] = 0x20 | 20;
    std::vector<uint8_t> extendedLow = {0x82, 0xE1, 0x03, 'x'};
    decoder.decode(pairsOf(liar), 20ms);
    decoder.decode(pairsOf(extendedLow), 30ms);
    decoder.decode(pairsOf(packet(0, 1, define(0, true) + text("Hi") + std::vector<uint8_t> {0x98, 0x20})), 40ms);
    EXPECT_EQ(shown(decoder.screenOf(1)), "Hi");
    EXPECT_EQ(decoder.drops().brokenPackets, 1);
    EXPECT_EQ(decoder.drops().brokenBlocks, 3);
    EXPECT_EQ(decoder.drops().sequenceGaps, 1);
    // Sixty-three services, the last through the extended header; 128-byte packets (size code 0).
    std::vector<uint8_t> big = packet(0, 63, define(0, true) + text("service 63"));
    big.resize(128, 0);
    big[0] = 0x00;
    decoder.reset();
    decoder.decode(pairsOf(big), 50ms);
    EXPECT_EQ(shown(decoder.screenOf(63)), "service 63");
    EXPECT_TRUE(decoder.servicesSeen()[63]);
    // A delay whose held input outgrows the service buffer gives up and shows what it held.
    decoder.decode(pairsOf(packet(1, 2, define(0, true) + std::vector<uint8_t> {0x8D, 250})), 60ms);
    for (int i = 0; i < 6; ++i)
        decoder.decode(pairsOf(packet((2 + i) & 3, 2, text("0123456789012345678901234"))), CaptionClock(70 + i));
    EXPECT_EQ(decoder.drops().delaysGivenUp, 1);
    EXPECT_NE(shown(decoder.screenOf(2)), "");
}

struct Cea608Case {
    const char* name;
    int field;
    std::vector<std::pair<uint8_t, uint8_t>> pairs;  // without parity; set here
    int channel;
    const char* expected;
};

class Cea608Captions : public testing::TestWithParam<Cea608Case> { };

uint8_t parity(uint8_t b) { return __builtin_popcount(b & 0x7F) % 2 ? b & 0x7F : (b & 0x7F) | 0x80; }

TEST_P(Cea608Captions, ShowTheRowsTheScreenWould)
{
    Cea608Decoder decoder;
    for (auto [a, b] : GetParam().pairs)
        decoder.decode(GetParam().field, parity(a), parity(b));
    EXPECT_EQ(shown(decoder.screenOf(GetParam().channel)), GetParam().expected);
}

const Cea608Case cea608Cases[] = {
    {"PopOnShownAtEndOfCaption", 0, {{0x14, 0x20}, {0x14, 0x20}, {0x14, 0x70}, {'H', 'i'}, {0x14, 0x2F}}, 1, "Hi"},
    {"PopOnHeldUntilEndOfCaption", 0, {{0x14, 0x20}, {0x14, 0x70}, {'H', 'i'}}, 1, ""},
    {"RollUpScrollsWithinItsRows", 0,
        {{0x14, 0x25}, {0x14, 0x70}, {'A', 0}, {0x14, 0x2D}, {'B', 0}, {0x14, 0x2D}, {'C', 0}}, 1, "B\nC"},
    {"PaintOnShowsAtOnceAndBackspaces", 0, {{0x14, 0x29}, {0x14, 0x70}, {'a', 'b'}, {0x14, 0x21}, {'c', 0}}, 1, "ac"},
    {"SecondDataChannelIsCC2", 0, {{0x1C, 0x29}, {0x1C, 0x70}, {'t', 'w'}, {'o', 0}}, 2, "two"},
    {"FieldTwoIsCC3", 1, {{0x15, 0x29}, {0x14, 0x70}, {'t', 'h'}}, 3, "th"},
    {"ExtendedCharacterReplacesTheOneBefore", 0, {{0x14, 0x29}, {0x14, 0x70}, {'e', 0}, {0x12, 0x21}}, 1, "É"},
    {"SpecialCharactersAndTabs", 0, {{0x14, 0x29}, {0x14, 0x70}, {0x11, 0x37}, {0x17, 0x22}, {'x', 0}}, 1, "♪  x"},
    {"ExtendedDataPassedOver", 1, {{0x15, 0x29}, {0x14, 0x70}, {0x01, 0x03}, {'X', 'D'}, {0x0F, 0x1D}, {'o', 'k'}}, 3,
        "ok"},
    {"EraseDisplayedMemory", 0, {{0x14, 0x29}, {0x14, 0x70}, {'a', 0}, {0x14, 0x2C}}, 1, ""},
};

INSTANTIATE_TEST_SUITE_P(Table, Cea608Captions, testing::ValuesIn(cea608Cases),
    [](const testing::TestParamInfo<Cea608Case>& info) { return info.param.name; });

TEST(Cea608Decoder, RepeatedControlCodesActOnceAndParityErrorsAreDropped)
{
    Cea608Decoder decoder;
    auto send = [&](uint8_t a, uint8_t b) { decoder.decode(0, parity(a), parity(b)); };
    send(0x14, 0x29);
    send(0x14, 0x70);
    send('a', 'b');
    send(0x14, 0x21);  // backspace, sent twice as encoders do: one character goes
    send(0x14, 0x21);
    decoder.decode(0, 'x', parity('y'));  // 'x' has even parity: the pair is dropped
    EXPECT_EQ(shown(decoder.screenOf(1)), "a");
    EXPECT_EQ(decoder.parityErrors(), 1);
}

// The fixture writer's caption data, read back picture by picture: Korean 708 service 1 (P16 and bare),
// English service 2, 608 CC1, each on screen from its start to its end.
TEST(TvCaptionData, FixtureCaptionsReadBackAtTheirTimes)
{
    using fixtures::TvCaption;
    const std::vector<TvCaption> captions = {
        {TvCaption::Kind::Cea708, 1, 1000, 2000, "안녕하세요\n여러분"},
        {TvCaption::Kind::Cea708, 1, 2000, 3000, "똠방각하 bare", fixtures::KoreanCoding::Bare},
        {TvCaption::Kind::Cea708, 2, 1000, 2500, "Hello everyone"},
        {TvCaption::Kind::Cea608, 1, 1500, 2500, "CC ONE\nSECOND ROW"},
    };
    const int fps = 30;
    auto data = fixtures::ccDataOfPictures(captions, fps, 4 * fps);
    Cea708Decoder dtv;
    Cea608Decoder line21;
    std::vector<std::string> service1, service2, cc1;
    for (size_t frame = 0; frame < data.size(); ++frame) {
        std::vector<platform::Line21Pair> l21;
        std::vector<DtvccPair> pairs;
        platform::splitCcData(data[frame], l21, pairs);
        dtv.decode(pairs, CaptionClock(frame * 1000 / fps));
        for (const auto& p : l21)
            line21.decode(p.field, p.data[0], p.data[1]);
        service1.push_back(shown(dtv.screenOf(1)));
        service2.push_back(shown(dtv.screenOf(2)));
        cc1.push_back(shown(line21.screenOf(1)));
    }
    EXPECT_EQ(service1[29], "");
    EXPECT_EQ(service1[30], "안녕하세요\n여러분");
    EXPECT_EQ(service1[59], "안녕하세요\n여러분");
    EXPECT_EQ(service1[60], "똠방각하 bare");
    EXPECT_EQ(service1[90], "");
    EXPECT_EQ(service2[30], "Hello everyone");
    EXPECT_EQ(service2[75], "");
    EXPECT_EQ(cc1[44], "");
    EXPECT_EQ(cc1[45], "CC ONE\nSECOND ROW");
    EXPECT_EQ(cc1[75], "");
    EXPECT_TRUE(dtv.sentKorean(1));
    EXPECT_FALSE(dtv.sentKorean(2));
    EXPECT_EQ(dtv.drops().brokenPackets + dtv.drops().sequenceGaps + dtv.drops().brokenBlocks, 0);
}

}

namespace {

// Captions are told as soon as their picture comes, reaching on past the pictures while their end is not
// known, and told again with their end: here when the recording's caption data stops for good.
TEST(TvCaptions, ACaptionIsToldAtOnceAndEndsWhenItsDataStops)
{
    using fixtures::TvCaption;
    using platform::MediaTime;
    const int fps = 30;
    auto data = fixtures::ccDataOfPictures({{TvCaption::Kind::Cea708, 1, 500, 60000, "Hello"}}, fps, 2 * fps);
    platform::TvCaptions captions;
    std::vector<platform::CaptionText> told;
    auto at = [&](int frame) { return MediaTime(std::chrono::microseconds(int64_t {frame} * 1'000'000 / fps)); };
    for (int frame = 0; frame < 14 * fps; ++frame) {
        std::span<const uint8_t> triplets;
        if (frame < 2 * fps)
            triplets = data[static_cast<size_t>(frame)];
        captions.picture(triplets, at(frame), at(frame + 1));
        captions.take(told, {platform::cea708StreamBase + 1});
        if (frame == 15) {
            ASSERT_EQ(told.size(), 1u) << "told at once, with its end yet to come";
            EXPECT_EQ(told[0].start, at(15));
            EXPECT_EQ(told[0].end, at(15) + platform::openCaptionReach);
        }
    }
    ASSERT_GE(told.size(), 3u);
    for (const platform::CaptionText& t : told) {
        EXPECT_EQ(t.text, "Hello");
        EXPECT_EQ(t.start, at(15));
        EXPECT_EQ(t.window, 0);
    }
    // Moved on while pictures came, and ended where ten seconds without caption data ran out.
    EXPECT_GT(told[1].end, told[0].end);
    EXPECT_EQ(told.back().end, at(2 * fps - 1) + platform::captionDataSilence);
}

}

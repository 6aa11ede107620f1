// Picture captions made ready for the text reader, the cache of what was read, and the reader's order.
#include "platform/caption_text_cache.h"
#include "platform/caption_text_preparation.h"
#include "platform/caption_text_reader.h"
#include "support/scripted_chooser.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace platform;

namespace {

constexpr uint32_t clear = 0x00000000;
constexpr uint32_t white = 0xFFFFFFFF;
constexpr uint32_t black = 0xFF000000;
constexpr uint32_t grey = 0xFF808080;
constexpr uint32_t halfWhite = 0x80FFFFFF;

// A bitmap drawn as rows of palette indices, one character an index ('.' is 0).
CaptionBitmap bitmapOf(std::vector<uint32_t> palette, const std::vector<std::string>& rows)
{
    CaptionBitmap b;
    b.width = static_cast<int>(rows[0].size());
    b.height = static_cast<int>(rows.size());
    b.palette = std::move(palette);
    std::vector<uint8_t> indices;
    for (const std::string& row : rows)
        for (char c : row)
            indices.push_back(c == '.' ? 0 : static_cast<uint8_t>(c - '0'));
    int beyond = 0;
    b.setIndices(indices.data(), b.width, beyond);
    return b;
}

struct FillCase {
    const char* name;
    std::vector<uint32_t> palette;
    std::vector<std::string> rows;
    std::vector<float> fill; // per palette entry
};

class PaletteFill : public testing::TestWithParam<FillCase> { };

TEST_P(PaletteFill, TellsTheLettersFromOutlineAndShadow)
{
    const FillCase& c = GetParam();
    const std::vector<float> fill = fillOfPalette(bitmapOf(c.palette, c.rows));
    ASSERT_EQ(fill.size(), c.fill.size());
    for (size_t i = 0; i < fill.size(); ++i)
        EXPECT_NEAR(fill[i], c.fill[i], 0.02) << "colour " << i;
}

INSTANTIATE_TEST_SUITE_P(Bitmaps, PaletteFill,
    testing::Values(
        FillCase { "WhiteInBlackOutline", { clear, white, black },
            { "........", ".222222.", ".211112.", ".211112.", ".222222.", "........" }, { 0, 1, 0 } },
        FillCase { "BlackInWhiteOutline", { clear, black, white },
            { "........", ".222222.", ".211112.", ".211112.", ".222222.", "........" }, { 0, 1, 0 } },
        // A drop shadow shows only below and to the right of the letters.
        FillCase { "WhiteWithShadow", { clear, white, black },
            { "........", ".1111...", ".11112..", ".11112..", "..2222..", "........" }, { 0, 1, 0 } },
        // Letters on an opaque box: nothing clear anywhere, the letters are the smaller part.
        FillCase { "WhiteOnDarkBox", { black, white }, { "00000000", "01101100", "01101100", "00000000" }, { 0, 1 } },
        FillCase { "DarkOnLightBox", { white, black }, { "00000000", "01101100", "01101100", "00000000" }, { 0, 1 } },
        // The colour between fill and outline counts by its brightness.
        FillCase { "GreyBetween", { clear, white, black, grey },
            { ".........", ".2222222.", ".2311132.", ".2311132.", ".2222222.", "........." }, { 0, 1, 0, 0.5f } },
        // One shade: the letters are what is opaque, a soft edge half.
        FillCase { "OneShadeSoftEdge", { clear, white, halfWhite }, { "......", ".2112.", ".2112.", "......" },
            { 0, 1, 0.5f } },
        FillCase { "AllClear", { clear, 0x00FFFFFF }, { "1111", "1111" }, { 0, 0 } }),
    [](const testing::TestParamInfo<FillCase>& info) { return info.param.name; });

// Lines of fill (index 1) at the rows given, spanning the middle of a width × height bitmap.
CaptionPicture pictureWithLines(int width, int height, const std::vector<std::pair<int, int>>& lines)
{
    std::vector<std::string> rows(static_cast<size_t>(height), std::string(static_cast<size_t>(width), '.'));
    for (auto [top, bottom] : lines)
        for (int y = top; y < bottom; ++y)
            for (int x = width / 4; x < width * 3 / 4; ++x)
                rows[static_cast<size_t>(y)][static_cast<size_t>(x)] = (x / 3) % 2 ? '1' : '2';
    CaptionPicture picture;
    picture.bitmaps.push_back(bitmapOf({ clear, white, black }, rows));
    return picture;
}

TEST(CaptionTextPreparation, EachLineBlackOnWhiteAtTheReadersHeight)
{
    // Two lines 18 rows tall: each becomes one picture, the upper first, its line enlarged to the
    // reader's height (with an eighth of a line kept above and below) inside the white border.
    const std::vector<GreyPicture> lines = prepareForReading(pictureWithLines(200, 60, { { 4, 22 }, { 34, 52 } }));
    ASSERT_EQ(lines.size(), 2u);
    const double scale = static_cast<double>(readerLineHeight) / 18;
    for (const GreyPicture& p : lines) {
        EXPECT_NEAR(p.height, 2 * readerBorder + (18 + 2 * 2) * scale, 2);
        EXPECT_NEAR(p.width, 2 * readerBorder + 100 * scale, 8);
        // The border is white, the fill's middle black.
        EXPECT_EQ(p.pixels[0], 255);
        EXPECT_EQ(p.pixels[static_cast<size_t>(p.height - 1) * p.width + p.width - 1], 255);
        int darkest = 255;
        for (int x = readerBorder; x < p.width - readerBorder; ++x)
            darkest = std::min<int>(darkest, p.pixels[static_cast<size_t>(p.height / 2) * p.width + x]);
        EXPECT_LT(darkest, 40);
    }
}

TEST(CaptionTextPreparation, BitmapsWithoutTextGiveNothingOrStayBounded)
{
    // A speck, a clear bitmap, a caption without bitmaps: nothing to read.
    EXPECT_TRUE(prepareForReading(pictureWithLines(1, 1, {})).empty());
    EXPECT_TRUE(prepareForReading(pictureWithLines(8, 8, { { 2, 4 } })).empty());
    EXPECT_TRUE(prepareForReading(CaptionPicture {}).empty());
    // A whole screen of fill (a picture, not text) becomes one picture no larger than the reader takes.
    CaptionPicture screen;
    CaptionBitmap b;
    b.width = b.height = 4096;
    b.palette = { clear, white };
    for (int y = 0; y < 4096; ++y)
        for (int i = 0; i < 16; ++i)
            b.runs.insert(b.runs.end(), { 255, 1, 1, 1 });
    screen.bitmaps.push_back(b);
    const std::vector<GreyPicture> pictures = prepareForReading(screen);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_LE(pictures[0].height, readerLineHeight * 2 + 2 * readerBorder);
    EXPECT_EQ(pictures[0].pixels.size(), static_cast<size_t>(pictures[0].width) * pictures[0].height);
}

CaptionPicture pictureNumbered(int n)
{
    CaptionPicture p;
    CaptionBitmap b;
    b.width = 1;
    b.height = 1;
    b.palette = { static_cast<uint32_t>(n) };
    p.bitmaps.push_back(b);
    return p;
}

TEST(CaptionTextCache, KeepsTextsAcrossRunsPassesDamageAndStaysWithinItsLimit)
{
    testing_support::ScratchDir dir;
    const std::string file = dir.file("state/captiontext");
    std::vector<CaptionTextKey> keys;
    for (int i = 0; i < 40; ++i)
        keys.push_back(captionTextKey(pictureNumbered(i), "kor+eng"));
    EXPECT_NE(captionTextKey(pictureNumbered(1), "kor+eng"), captionTextKey(pictureNumbered(1), "eng"));
    {
        CaptionTextCache cache(file);
        for (int i = 0; i < 3; ++i)
            cache.add(keys[static_cast<size_t>(i)], "자막 " + std::to_string(i));
    }
    // A byte of the middle record damaged, and the file cut inside a fourth one.
    std::string bytes = testing_support::readFile(file);
    const size_t record = bytes.size() / 3;
    bytes[record + record / 2] ^= 0x55;
    bytes += bytes.substr(0, record / 2);
    dir.write("state/captiontext", bytes);
    {
        CaptionTextCache cache(file);
        ASSERT_NE(cache.find(keys[0]), nullptr);
        EXPECT_EQ(*cache.find(keys[0]), "자막 0");
        EXPECT_EQ(cache.find(keys[1]), nullptr);
        ASSERT_NE(cache.find(keys[2]), nullptr);
        EXPECT_EQ(*cache.find(keys[2]), "자막 2");
        EXPECT_EQ(cache.damagedRecords(), 2);
        // Appended after the damage, it is found by the next run all the same.
        cache.add(keys[3], "");
    }
    {
        CaptionTextCache cache(file);
        ASSERT_NE(cache.find(keys[3]), nullptr);
        EXPECT_EQ(*cache.find(keys[3]), "");
    }
    // Past its limit the file is written again with its newest records.
    {
        CaptionTextCache cache(file, 1000);
        for (size_t i = 4; i < keys.size(); ++i)
            cache.add(keys[i], std::string(30, 'x'));
    }
    EXPECT_LE(std::filesystem::file_size(file), 1000u);
    CaptionTextCache cache(file);
    EXPECT_NE(cache.find(keys.back()), nullptr);
    EXPECT_EQ(cache.find(keys[4]), nullptr);
    // A cache that cannot be written keeps its texts for the run.
    CaptionTextCache blocked(dir.file("state/captiontext/inside"));
    blocked.add(keys[0], "a");
    ASSERT_NE(blocked.find(keys[0]), nullptr);
    EXPECT_EQ(*blocked.find(keys[0]), "a");
}

TEST(CaptionTextReader, ReadsTheNextTwoMinutesFirstThenOnThenBefore)
{
    CaptionTextReader reader("");
    std::unique_ptr<CaptionReadingTrack> track = reader.addTrack("kor");
    // Captions every 50 s from 0 to 500 s, played at 300 s: 300 to 420 s first, then 450 and on, then
    // from the start. Bitmaps without text are read in no time, so only the order is seen.
    track->setPosition(300000);
    std::vector<std::pair<uint32_t, CaptionPictureHandle>> captions;
    for (int i = 0; i <= 10; ++i)
        captions.emplace_back(i * 50000, std::make_shared<CaptionPicture>(pictureNumbered(i)));
    track->submit(std::move(captions));
    reader.waitIdle();
    std::string why;
    if (track->unreadable(&why))
        GTEST_SKIP() << why;
    std::vector<uint32_t> order;
    for (const ReadCaptionText& read : track->takeTexts()) {
        order.push_back(read.start / 1000);
        EXPECT_EQ(read.text, "");
    }
    EXPECT_EQ(order, (std::vector<uint32_t> { 300, 350, 400, 450, 500, 0, 50, 100, 150, 200, 250 }));
}

TEST(CaptionTextReader, MissingDataLeavesTheTrackUnreadable)
{
    testing_support::ScratchDir dir;
    testing_support::EnvironmentOverride data("TESSDATA_PREFIX", dir.path().string());
    CaptionTextReader reader("");
    std::unique_ptr<CaptionReadingTrack> track = reader.addTrack("");
    track->submit({ { 0, std::make_shared<CaptionPicture>(pictureNumbered(1)) } });
    reader.waitIdle();
    std::string why;
    EXPECT_TRUE(track->unreadable(&why));
    EXPECT_NE(why.find("kor+eng"), std::string::npos) << why;
    EXPECT_TRUE(track->takeTexts().empty());
    // A track of the same language made later is told at once.
    EXPECT_TRUE(reader.addTrack("kor")->unreadable());
}

}

// Video pictures a DirectDraw sample surface keeps unconverted: they must look exactly as if they had
// been converted into the sample at delivery, whatever reads them and however they are copied.
#include "movie_fixture.h"
#include "platform/com.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/display_driver.h"
#include "platform/gdi/gdi.h"
#include "platform/mmstream/mmstream.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

// A picture of one red level; it may refuse to be converted into part of a surface, or at all.
class SolidPicture final : public platform::PendingPicture {
public:
    enum class Accepts { Anywhere, WholeSurfaceOnly, Nothing };
    SolidPicture(int red, Accepts accepts, int& calls)
        : red_(red)
        , accepts_(accepts)
        , calls_(calls)
    {
    }
    bool convertInto(platform::PixelView target, int x, int y, int width, int height) override
    {
        ++calls_;
        bool whole = x == 0 && y == 0 && width == target.width && height == target.height;
        if (accepts_ == Accepts::Nothing || (accepts_ == Accepts::WholeSurfaceOnly && !whole))
            return false;
        for (int row = y; row < y + height; ++row)
            for (int column = x; column < x + width; ++column)
                platform::writePixel(target, column, row, platform::packPixel(target.format, red_, 0, 0));
        return true;
    }

private:
    int red_;
    Accepts accepts_;
    int& calls_;
};

class PendingPictures : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setDisplayDriver(std::make_unique<platform::ScriptedDisplayDriver>());
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
        sample = offScreen(40, 30);
        back = offScreen(100, 80);
        ASSERT_NE(sample, nullptr);
        ASSERT_NE(back, nullptr);
        fill(sample, 7);
        fill(back, 3);
    }
    void TearDown() override
    {
        if (dd)
            dd->Release();
        platform::setDisplayDriver(nullptr);
    }

    IDirectDrawSurface* offScreen(int width, int height)
    {
        DDSURFACEDESC description {};
        description.dwSize = sizeof description;
        description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        description.dwWidth = static_cast<DWORD>(width);
        description.dwHeight = static_cast<DWORD>(height);
        description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        IDirectDrawSurface* surface = nullptr;
        dd->CreateSurface(&description, &surface, nullptr);
        return surface;
    }
    static void fill(IDirectDrawSurface* surface, int red)
    {
        platform::PixelView& s = *surface->pixels();
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                platform::writePixel(s, x, y, platform::packPixel(s.format, red, 0, 0));
    }
    static int redAt(IDirectDrawSurface* surface, int x, int y)
    {
        int r, g, b;
        platform::readRgb(*surface->pixels(), x, y, r, g, b);
        return r;
    }
    void deliver(int red, SolidPicture::Accepts accepts)
    {
        sample->samplePicture(std::make_unique<SolidPicture>(red, accepts, calls));
    }

    IDirectDraw* dd = nullptr;
    IDirectDrawSurface* sample = nullptr;
    IDirectDrawSurface* back = nullptr;
    int calls = 0;
};

TEST_F(PendingPictures, AWholeOneToOneCopyConvertsStraightIntoTheDestination)
{
    deliver(200, SolidPicture::Accepts::Anywhere);
    RECT to {10, 5, 50, 35};
    ASSERT_EQ(back->Blt(&to, sample, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(redAt(back, 10, 5), 200);
    EXPECT_EQ(redAt(back, 49, 34), 200);
    EXPECT_EQ(redAt(back, 9, 5), 3);
    EXPECT_EQ(redAt(back, 50, 34), 3);
    // The sample still stands for the picture: reading it converts it there.
    EXPECT_EQ(redAt(sample, 0, 0), 200);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(redAt(sample, 39, 29), 200);
    EXPECT_EQ(calls, 2);
}

TEST_F(PendingPictures, OtherCopiesGoThroughTheSamplesPixels)
{
    struct Case {
        const char* name;
        SolidPicture::Accepts accepts;
        RECT source;
        RECT destination;
        DWORD flags;
    };
    const Case cases[] = {
        {"refused part", SolidPicture::Accepts::WholeSurfaceOnly, {0, 0, 40, 30}, {10, 5, 50, 35}, 0},
        {"scaled", SolidPicture::Accepts::Anywhere, {0, 0, 40, 30}, {0, 0, 80, 60}, 0},
        {"cropped", SolidPicture::Accepts::Anywhere, {0, 0, 20, 30}, {0, 0, 20, 30}, 0},
        {"mirrored", SolidPicture::Accepts::Anywhere, {0, 0, 40, 30}, {10, 5, 50, 35}, DDBLT_DDFX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fill(back, 3);
        calls = 0;
        deliver(150, c.accepts);
        RECT source = c.source, destination = c.destination;
        DDBLTFX effects {};
        effects.dwSize = sizeof effects;
        effects.dwDDFX = DDBLTFX_MIRRORUPDOWN;
        ASSERT_EQ(back->Blt(&destination, sample, &source, DDBLT_WAIT | c.flags, c.flags ? &effects : nullptr), DD_OK);
        EXPECT_EQ(redAt(back, destination.left, destination.top), 150);
        EXPECT_EQ(redAt(back, destination.right - 1, destination.bottom - 1), 150);
        // Converted into the sample once; a second copy uses those pixels.
        int afterFirst = calls;
        ASSERT_EQ(back->Blt(&destination, sample, &source, DDBLT_WAIT | c.flags, c.flags ? &effects : nullptr), DD_OK);
        EXPECT_EQ(calls, afterFirst);
        EXPECT_EQ(redAt(sample, 0, 0), 150);
    }
}

TEST_F(PendingPictures, EveryReaderOfTheSampleSeesTheLatestPicture)
{
    deliver(100, SolidPicture::Accepts::Anywhere);
    deliver(50, SolidPicture::Accepts::Anywhere);
    HDC dc = nullptr;
    ASSERT_EQ(sample->GetDC(&dc), DD_OK);
    EXPECT_EQ(calls, 1);  // only the newer picture was ever converted
    EXPECT_EQ(sample->ReleaseDC(dc), DD_OK);
    EXPECT_EQ(redAt(sample, 20, 15), 50);

    deliver(60, SolidPicture::Accepts::Anywhere);
    EXPECT_EQ(redAt(sample, 20, 15), 60);

    // Copying the sample onto itself reads the picture first.
    deliver(70, SolidPicture::Accepts::Anywhere);
    RECT left {0, 0, 20, 30}, right {20, 0, 40, 30};
    ASSERT_EQ(sample->Blt(&right, sample, &left, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(redAt(sample, 39, 29), 70);

    // And a surface a picture was delivered to, filled afterwards, keeps the fill.
    deliver(80, SolidPicture::Accepts::Anywhere);
    DDBLTFX effects {};
    effects.dwSize = sizeof effects;
    effects.dwFillColor = platform::packPixel(sample->pixels()->format, 9, 0, 0);
    RECT part {0, 0, 10, 10};
    ASSERT_EQ(sample->Blt(&part, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &effects), DD_OK);
    EXPECT_EQ(redAt(sample, 5, 5), 9);
    EXPECT_EQ(redAt(sample, 30, 20), 80);
}

TEST_F(PendingPictures, APictureThatCannotBeConvertedLeavesTheEarlierOne)
{
    deliver(90, SolidPicture::Accepts::Anywhere);
    EXPECT_EQ(redAt(sample, 1, 1), 90);
    deliver(120, SolidPicture::Accepts::Nothing);
    RECT to {0, 0, 40, 30};
    ASSERT_EQ(back->Blt(&to, sample, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(redAt(back, 0, 0), 90);
    EXPECT_EQ(redAt(sample, 39, 29), 90);
}

TEST_F(PendingPictures, ReleasedSurfacesDropTheirPicture)
{
    deliver(90, SolidPicture::Accepts::Anywhere);
    dd->Release();
    dd = nullptr;
    EXPECT_EQ(calls, 0);
}

// A real movie: the picture converted straight into a back surface is byte for byte the one the
// sample holds.
TEST(PendingMoviePictures, DirectConversionEqualsTheSamplesPixels)
{
    if (!fixtures::canEncode(fixtures::MovieKind::H264AacMp4))
        GTEST_SKIP() << "no H.264 encoder";
    testing_support::ScratchDir dir;
    fixtures::MovieRecipe recipe;
    recipe.kind = fixtures::MovieKind::H264AacMp4;
    recipe.width = 192;
    recipe.height = 144;
    std::string path = dir.file("movie.mp4");
    ASSERT_EQ(fixtures::writeMovie(path, recipe), "");

    platform::setDisplayDriver(std::make_unique<platform::ScriptedDisplayDriver>());
    CoInitialize(nullptr);
    IDirectDraw* dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    IAMMultiMediaStream* stream = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
                  reinterpret_cast<void**>(&stream)),
        S_OK);
    ASSERT_EQ(stream->Initialize(STREAMTYPE_READ, 0, nullptr), S_OK);
    ASSERT_EQ(stream->AddMediaStream(dd, &MSPID_PrimaryVideo, 0, nullptr), S_OK);
    std::u16string wide(path.begin(), path.end());
    ASSERT_EQ(stream->OpenFile(wide.c_str(), 0), S_OK);
    IMediaStream* media = nullptr;
    ASSERT_EQ(stream->GetMediaStream(MSPID_PrimaryVideo, &media), S_OK);
    IDirectDrawMediaStream* video = nullptr;
    ASSERT_EQ(media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video)), S_OK);
    media->Release();
    IDirectDrawStreamSample* sample = nullptr;
    ASSERT_EQ(video->CreateSample(nullptr, nullptr, 0, &sample), S_OK);
    video->Release();
    platform::SampleTarget* target = nullptr;
    RECT rect {};
    ASSERT_EQ(sample->GetSurface(&target, &rect), S_OK);
    IDirectDrawSurface* surface = target->directDrawSurface();
    ASSERT_NE(surface, nullptr);

    DDSURFACEDESC description {};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    description.dwWidth = 320;
    description.dwHeight = 240;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    IDirectDrawSurface* back = nullptr;
    ASSERT_EQ(dd->CreateSurface(&description, &back, nullptr), DD_OK);

    stream->Seek(15 * 1'000'000);  // 1.5 s: a picture in the middle of a group
    HRESULT hr = MS_S_PENDING;
    for (int tries = 0; tries < 40 && hr != S_OK; ++tries)
        hr = sample->Update(SSUPDATE_CONTINUOUS, nullptr, nullptr, 0);
    ASSERT_EQ(hr, S_OK);
    RECT to {16, 8, 16 + 192, 8 + 144};
    ASSERT_EQ(back->Blt(&to, surface, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    const platform::PixelView& own = *surface->pixels();
    const platform::PixelView& copied = *back->pixels();
    int bytes = own.bitsPerPixel() / 8;
    int differentRows = 0;
    for (int y = 0; y < own.height; ++y)
        differentRows += std::memcmp(own.row(y), copied.row(y + 8) + 16 * bytes, static_cast<std::size_t>(own.width) * bytes) != 0;
    EXPECT_EQ(differentRows, 0);
    EXPECT_GE(fixtures::frameNumberIn(own), 0);

    back->Release();
    sample->Release();
    target->sampleRelease();
    stream->Release();
    dd->Release();
    CoUninitialize();
    platform::setDisplayDriver(nullptr);
}

}

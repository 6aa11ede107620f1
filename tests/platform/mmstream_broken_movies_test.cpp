// Movies whose headers lie, built byte by byte: an uncompressed AVI with one picture of 32x32 whose
// headers claim any picture size.
#include "platform/com.h"
#include "platform/mmstream/mmstream.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using testing_support::ScratchDir;

namespace {

void put32(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void put16(std::string& out, uint16_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

std::string chunk(const char* id, const std::string& body)
{
    std::string out(id, 4);
    put32(out, static_cast<uint32_t>(body.size()));
    return out + body + (body.size() % 2 ? std::string(1, '\0') : std::string());
}

std::string list(const char* type, const std::string& body)
{
    return chunk("LIST", std::string(type, 4) + body);
}

// One 24-bit uncompressed picture of 32x32 in pure blue, at 10 pictures a second, in an AVI whose main
// header, stream header and picture format claim width x height.
std::string uncompressedAvi(uint32_t width, uint32_t height)
{
    const uint32_t frameBytes = 32 * 32 * 3;
    std::string avih;
    for (uint32_t v : {100000u, frameBytes * 10, 0u, 0u, 1u, 0u, 1u, frameBytes, width, height, 0u, 0u, 0u, 0u})
        put32(avih, v);
    std::string strh = "vids";
    put32(strh, 0);  // handler
    for (uint32_t v : {0u, 0u, 0u, 1u, 10u, 0u, 1u, frameBytes, 0xFFFFFFFFu, 0u})
        put32(strh, v);  // flags, priority+language, initial frames, scale, rate, start, length, buffer, quality, sample size
    for (uint32_t v : {0u, 0u, width, height})
        put16(strh, static_cast<uint16_t>(v));
    std::string strf;
    put32(strf, 40);
    put32(strf, width);
    put32(strf, height);
    put16(strf, 1);
    put16(strf, 24);
    for (uint32_t v : {0u, frameBytes, 0u, 0u, 0u, 0u})
        put32(strf, v);
    std::string picture;
    for (uint32_t i = 0; i < 32 * 32; ++i)
        picture += std::string("\xFF\x00\x00", 3);  // blue, green, red

    std::string header = list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));
    std::string body = "AVI " + header + list("movi", chunk("00db", picture));
    return chunk("RIFF", body);
}

struct OpenedMovie {
    OpenedMovie() { CoInitialize(nullptr); }
    ~OpenedMovie()
    {
        if (sample)
            sample->Release();
        if (stream)
            stream->Release();
        CoUninitialize();
    }

    HRESULT open(const std::string& path)
    {
        HRESULT hr = CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
            reinterpret_cast<void**>(&stream));
        if (FAILED(hr) || FAILED(hr = stream->Initialize(STREAMTYPE_READ, 0, nullptr))
            || FAILED(hr = stream->AddMediaStream(nullptr, &MSPID_PrimaryVideo, 0, nullptr))
            || FAILED(hr = stream->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr)))
            return hr;
        std::u16string wide(path.begin(), path.end());
        return stream->OpenFile(wide.c_str(), 0);
    }

    HRESULT makeSample()
    {
        IMediaStream* media = nullptr;
        HRESULT hr = stream->GetMediaStream(MSPID_PrimaryVideo, &media);
        if (FAILED(hr))
            return hr;
        IDirectDrawMediaStream* video = nullptr;
        hr = media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video));
        media->Release();
        if (FAILED(hr))
            return hr;
        hr = video->CreateSample(nullptr, nullptr, 0, &sample);
        video->Release();
        return hr;
    }

    IAMMultiMediaStream* stream = nullptr;
    IDirectDrawStreamSample* sample = nullptr;
};

TEST(UncompressedAvi, TheHandMadeMovieShowsItsPicture)
{
    ScratchDir dir;
    OpenedMovie movie;
    ASSERT_EQ(movie.open(dir.write("blue.avi", uncompressedAvi(32, 32))), S_OK);
    ASSERT_EQ(movie.makeSample(), S_OK);
    ASSERT_EQ(movie.sample->Update(0, nullptr, nullptr, 0), S_OK);
    platform::SampleTarget* target = nullptr;
    RECT rect {};
    ASSERT_EQ(movie.sample->GetSurface(&target, &rect), S_OK);
    EXPECT_EQ(rect.right, 32);
    EXPECT_EQ(rect.bottom, 32);
    int r = 0, g = 0, b = 0;
    platform::readRgb(target->samplePixels(), 16, 16, r, g, b);
    target->sampleRelease();
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 255);
}

struct ClaimedSize {
    uint32_t width;
    uint32_t height;
    bool played;
};

class ClaimedPictureSize : public testing::TestWithParam<ClaimedSize> {};

// Sizes FFmpeg itself accepts but no movie has are refused before a sample surface of gigabytes is made;
// large real formats still open, with a sample of the size claimed.
TEST_P(ClaimedPictureSize, AbsurdSizesAreNotPlayed)
{
    const ClaimedSize c = GetParam();
    ScratchDir dir;
    OpenedMovie movie;
    HRESULT opened = movie.open(dir.write("claims.avi", uncompressedAvi(c.width, c.height)));
    if (!c.played) {
        // The movie has no other stream, so nothing is left to play.
        EXPECT_EQ(opened, VFW_E_UNSUPPORTED_STREAM);
        return;
    }
    ASSERT_EQ(opened, S_OK);
    ASSERT_EQ(movie.makeSample(), S_OK);
    platform::SampleTarget* target = nullptr;
    RECT rect {};
    ASSERT_EQ(movie.sample->GetSurface(&target, &rect), S_OK);
    target->sampleRelease();
    EXPECT_EQ(rect.right, static_cast<LONG>(c.width));
    EXPECT_EQ(rect.bottom, static_cast<LONG>(c.height));
    // The picture does not match the claimed size; the update answers without one.
    HRESULT hr = movie.sample->Update(0, nullptr, nullptr, 0);
    EXPECT_TRUE(hr == MS_S_ENDOFSTREAM || hr == S_OK) << std::hex << hr;
}

INSTANTIATE_TEST_SUITE_P(Sizes, ClaimedPictureSize,
    testing::Values(ClaimedSize {3840, 2160, true}, ClaimedSize {16000, 16000, false},
        ClaimedSize {20000, 8, false}, ClaimedSize {8, 20000, false}, ClaimedSize {12000, 6000, false}));

}

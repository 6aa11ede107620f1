#include "app/system.h"
#include "platform/audio_volume.h"
#include "ui/volume.h"

#include <gtest/gtest.h>

using namespace sublumen;

namespace {

// The device level is process-wide: every test starts from full volume and leaves it so.
class Volume : public ::testing::Test {
protected:
    void SetUp() override { waveOutSetVolume(nullptr, 0xFFFFFFFF); }
    void TearDown() override { waveOutSetVolume(nullptr, 0xFFFFFFFF); }

    static DWORD device()
    {
        DWORD level = 0;
        EXPECT_EQ(waveOutGetVolume(nullptr, &level), MMSYSERR_NOERROR);
        return level;
    }
    System sys;
};

struct VolumeStep {
    int32_t deviceLevel;
    int step;
    int32_t expected;
};

class VolumeSteps : public ::testing::TestWithParam<VolumeStep> {
protected:
    void TearDown() override { waveOutSetVolume(nullptr, 0xFFFFFFFF); }
};

}

TEST_F(Volume, StartsAtFullVolume)
{
    readVolume(sys);
    EXPECT_EQ(sys.commands.volume, 255);
}

TEST_F(Volume, ReadTakesTheHighByteOfTheLeftChannel)
{
    waveOutSetVolume(nullptr, 0x3400AB7F);
    readVolume(sys);
    EXPECT_EQ(sys.commands.volume, 0xAB);
}

TEST_F(Volume, WriteSetsBothChannels)
{
    sys.commands.volume = 255;
    writeVolume(sys);
    EXPECT_EQ(device(), 0xFF00FF00u);
    sys.commands.volume = 0x12;
    writeVolume(sys);
    EXPECT_EQ(device(), 0x12001200u);
    sys.commands.volume = 0;
    writeVolume(sys);
    EXPECT_EQ(device(), 0u);
}

TEST_F(Volume, EachStepStartsFromTheDevice)
{
    sys.commands.volume = 10;
    waveOutSetVolume(nullptr, 0xC800C800);
    changeVolume(sys, 2);
    EXPECT_EQ(sys.commands.volume, 202);
    EXPECT_EQ(device(), 0xCA00CA00u);
}

TEST_P(VolumeSteps, ClampToTheRange)
{
    System sys;
    DWORD channel = static_cast<DWORD>(GetParam().deviceLevel) << 8;
    waveOutSetVolume(nullptr, channel | (channel << 16));
    changeVolume(sys, GetParam().step);
    EXPECT_EQ(sys.commands.volume, GetParam().expected);
    DWORD level = 0;
    waveOutGetVolume(nullptr, &level);
    EXPECT_EQ(level >> 8 & 0xFF, static_cast<DWORD>(GetParam().expected));
    EXPECT_EQ(level >> 24, static_cast<DWORD>(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Volume, VolumeSteps,
    ::testing::Values(VolumeStep {254, 2, 255}, VolumeStep {255, 2, 255}, VolumeStep {0, -2, 0}, VolumeStep {1, -2, 0},
        VolumeStep {100, 2, 102}, VolumeStep {128, -2, 126}, VolumeStep {3, -2, 1}));

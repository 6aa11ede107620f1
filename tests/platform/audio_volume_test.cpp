#include "platform/audio_volume.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class MasterVolume : public ::testing::Test {
protected:
    void TearDown() override { waveOutSetVolume(nullptr, 0xFFFFFFFF); }
};

}

TEST_F(MasterVolume, OnlyDeviceZeroExists)
{
    DWORD level = 0;
    EXPECT_EQ(waveOutGetVolume(reinterpret_cast<HWAVEOUT>(1), &level), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveOutSetVolume(reinterpret_cast<HWAVEOUT>(1), 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveOutGetVolume(nullptr, nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutSetVolume(nullptr, 0x12345678), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutGetVolume(nullptr, &level), MMSYSERR_NOERROR);
    EXPECT_EQ(level, 0x12345678u);
}

TEST_F(MasterVolume, FullVolumeLeavesTheSoundUntouched)
{
    std::vector<int16_t> sound {32767, -32768, 1, -1, 1000, -1000};
    std::vector<int16_t> before = sound;
    platform::applyMasterVolume(sound.data(), 3, 2);
    EXPECT_EQ(sound, before);
}

TEST_F(MasterVolume, ScalesEachChannelByItsOwnLevel)
{
    waveOutSetVolume(nullptr, 0x00008000);  // left half, right silent
    std::vector<int16_t> sound {32767, 32767, -32768, -32768, 1000, -1000};
    platform::applyMasterVolume(sound.data(), 3, 2);
    EXPECT_EQ(sound, (std::vector<int16_t> {16383, 0, -16384, 0, 500, 0}));
}

TEST_F(MasterVolume, OneChannelTakesTheMeanOfBothLevels)
{
    waveOutSetVolume(nullptr, 0x0000FFFF);
    std::vector<int16_t> sound {20000, -20000};
    platform::applyMasterVolume(sound.data(), 2, 1);
    EXPECT_EQ(sound, (std::vector<int16_t> {9999, -9999}));
}

TEST_F(MasterVolume, TheLevelTheCommandsWriteIsNearlyFull)
{
    waveOutSetVolume(nullptr, 0xFF00FF00);
    std::vector<int16_t> sound {32767, -32768};
    platform::applyMasterVolume(sound.data(), 1, 2);
    EXPECT_EQ(sound, (std::vector<int16_t> {32639, -32640}));
}

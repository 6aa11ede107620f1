#include "platform/mmstream/audio_tempo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

using namespace platform;

namespace {

int rate = 48000;  // changed per case
constexpr int channels = 2;  // the device's

// Three seconds of silence with a 1 kHz tone from 1.0 s to 1.2 s and from 2.0 s to 2.2 s in every channel
// of inputChannels.
std::vector<int16_t> twoBeeps(int inputChannels = channels)
{
    std::vector<int16_t> samples(static_cast<std::size_t>(3 * rate * inputChannels), 0);
    for (int from : { rate, 2 * rate })
        for (int i = 0; i < rate / 5; ++i) {
            const auto value = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000.0 * i / rate));
            for (int c = 0; c < inputChannels; ++c)
                samples[static_cast<std::size_t>((from + i) * inputChannels + c)] = value;
        }
    return samples;
}

// Feeds input through tempo in pieces of 1024 frames and the end; output gets what comes out.
int filtered(AudioTempo& tempo, const std::vector<int16_t>& input, int inputChannels, std::vector<int16_t>& output)
{
    int frames = 0;
    for (std::size_t at = 0; at < input.size(); at += 1024 * inputChannels) {
        const int piece = static_cast<int>(std::min<std::size_t>(1024 * inputChannels, input.size() - at) / inputChannels);
        frames += tempo.process(input.data() + at, piece, output);
    }
    return frames + tempo.finish(output);
}

// Where each beep lies: the centre of its energy, in frames, for the beeps of the first and second half
// of the sound (the filter fades a beep in and out over its window, so its edges are no measure).
std::vector<double> beepCentres(const std::vector<int16_t>& samples)
{
    const std::size_t frames = samples.size() / channels;
    std::vector<double> centres;
    for (std::size_t half = 0; half < 2; ++half) {
        double energy = 0;
        double moment = 0;
        for (std::size_t frame = half * frames / 2; frame < (half + 1) * frames / 2; ++frame) {
            const double e = static_cast<double>(samples[frame * channels]) * samples[frame * channels];
            energy += e;
            moment += e * static_cast<double>(frame);
        }
        centres.push_back(energy > 0 ? moment / energy : -1);
    }
    return centres;
}

// Where each beep lies for filters that change its loudness as it goes (a compressor): the middle of the
// span over which its level (in steps of a millisecond) stands above a tenth of its loudest, per half.
std::vector<double> beepMiddles(const std::vector<int16_t>& samples)
{
    const std::size_t frames = samples.size() / channels;
    const std::size_t step = static_cast<std::size_t>(rate / 1000);
    std::vector<double> middles;
    for (std::size_t half = 0; half < 2; ++half) {
        std::vector<double> levels;
        for (std::size_t at = half * frames / 2; at + step <= (half + 1) * frames / 2; at += step) {
            double energy = 0;
            for (std::size_t frame = at; frame < at + step; ++frame)
                energy += static_cast<double>(samples[frame * channels]) * samples[frame * channels];
            levels.push_back(energy);
        }
        const double loudest = levels.empty() ? 0 : *std::max_element(levels.begin(), levels.end());
        std::size_t first = levels.size(), last = 0;
        for (std::size_t i = 0; i < levels.size(); ++i)
            if (loudest > 0 && levels[i] > loudest / 100) {
                first = std::min(first, i);
                last = i;
            }
        middles.push_back(first <= last ? static_cast<double>(half * frames / 2 + (first + last + 1) * step / 2) : -1);
    }
    return middles;
}

}

// The clock places the filter's output as AudioTempo::lead says. So a beep must come out where that
// places it, and the whole sound take its length divided by the speed. At 1 the sound passes untouched.
TEST(AudioTempo, SoundComesOutWhereTheSpeedPlacesIt)
{
    for (int deviceRate : { 48000, 44100 }) {
        rate = deviceRate;
        const std::vector<int16_t> input = twoBeeps();
        for (double speed : { 2.0, 1.5, 0.5, 0.7, 1.0 }) {
            SCOPED_TRACE(testing::Message() << speed << "x at " << rate);
            AudioTempo tempo(rate, channels);
            ASSERT_TRUE(tempo.start(speed));
            EXPECT_EQ(tempo.active(), speed != 1.0);
            std::vector<int16_t> output;
            const int frames = filtered(tempo, input, channels, output);
            EXPECT_EQ(output.size(), static_cast<std::size_t>(frames) * channels);
            if (speed == 1.0) {
                EXPECT_EQ(output, input);
                continue;
            }
            EXPECT_NEAR(frames, 3 * rate / speed, 0.02 * 3 * rate / speed);
            // The beeps' middles, at 1.1 s and 2.1 s of input, within 5 ms of output time.
            const std::vector<double> beeps = beepCentres(output);
            const double lead = std::chrono::duration<double>(tempo.lead()).count() * rate;
            EXPECT_NEAR(beeps[0], (1.1 * rate - lead) / speed, rate / 200);
            EXPECT_NEAR(beeps[1], (2.1 * rate - lead) / speed, rate / 200);
        }
    }
}

// Every mix of every layout keeps the sound in step with the picture: the beeps come out where the speed
// and the lead place them, in the device's two channels, and the sound lasts as long as it did.
TEST(AudioTempo, SoundModesKeepTheSoundInStep)
{
    rate = 48000;
    const struct {
        int channels;
        uint64_t mask;
    } layouts[] = { { 6, 0x60F /* 5.1(side) */ }, { 8, 0x63F /* 7.1 */ }, { 2, 0x3 }, { 1, 0x4 } };
    for (const auto& layout : layouts) {
        const std::vector<int16_t> input = twoBeeps(layout.channels);
        for (SoundMode mode : { SoundMode::Normal, SoundMode::ClearDialogue, SoundMode::Night }) {
            for (double speed : { 1.0, 1.5 }) {
                SCOPED_TRACE(testing::Message() << layout.channels << " channels, mode " << static_cast<int>(mode)
                                                << ", " << speed << "x");
                AudioTempo tempo(rate, channels);
                ASSERT_TRUE(tempo.start(speed, mode, SoundLayout { layout.channels, layout.mask }));
                EXPECT_EQ(tempo.mode(), mode);
                std::vector<int16_t> output;
                const int frames = filtered(tempo, input, layout.channels, output);
                ASSERT_EQ(output.size(), static_cast<std::size_t>(frames) * channels);
                EXPECT_NEAR(frames, 3 * rate / speed, 0.02 * 3 * rate / speed);
                const std::vector<double> beeps = beepMiddles(output);
                const double lead = std::chrono::duration<double>(tempo.lead()).count() * rate;
                EXPECT_NEAR(beeps[0], (1.1 * rate - lead) / speed, rate / 200);
                EXPECT_NEAR(beeps[1], (2.1 * rate - lead) / speed, rate / 200);
            }
        }
    }
}

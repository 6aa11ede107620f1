#include "platform/mmstream/audio_tempo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

using namespace platform;

namespace {

int rate = 48000;  // changed per case
constexpr int channels = 2;

// Three seconds of silence with a 1 kHz tone from 1.0 s to 1.2 s and from 2.0 s to 2.2 s, stereo.
std::vector<int16_t> twoBeeps()
{
    std::vector<int16_t> samples(static_cast<std::size_t>(3 * rate * channels), 0);
    for (int from : { rate, 2 * rate })
        for (int i = 0; i < rate / 5; ++i) {
            const auto value = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000.0 * i / rate));
            samples[static_cast<std::size_t>((from + i) * channels)] = value;
            samples[static_cast<std::size_t>((from + i) * channels + 1)] = value;
        }
    return samples;
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
            int frames = 0;
            for (std::size_t at = 0; at < input.size(); at += 1024 * channels) {
                const int piece = static_cast<int>(std::min<std::size_t>(1024 * channels, input.size() - at) / channels);
                frames += tempo.process(input.data() + at, piece, output);
            }
            frames += tempo.finish(output);
            EXPECT_EQ(output.size(), static_cast<std::size_t>(frames) * channels);
            if (speed == 1.0) {
                EXPECT_EQ(output, input);
                continue;
            }
            EXPECT_NEAR(frames, 3 * rate / speed, 0.02 * 3 * rate / speed);
            // The beeps' middles, at 1.1 s and 2.1 s of input, within 5 ms of output time.
            const std::vector<double> beeps = beepCentres(output);
            const double lead = std::chrono::duration<double>(AudioTempo::lead).count() * rate;
            EXPECT_NEAR(beeps[0], (1.1 * rate - lead) / speed, rate / 200);
            EXPECT_NEAR(beeps[1], (2.1 * rate - lead) / speed, rate / 200);
        }
    }
}

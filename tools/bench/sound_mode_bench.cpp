// Runs raw sound through the player's sound filter (audio_tempo.h) as the audio decoder does, in pieces of
// 1024 frames, and writes what the device would get; prints the filter's CPU time per second of sound.
// tools/bench/sound_modes makes the test mixes and measures the results with this.
//   sound_mode_bench MODE CHANNELS IN.raw OUT.raw [SPEED]
// MODE: normal, clear or night; CHANNELS: of IN (1, 2, 6 for 5.1(side), 8 for 7.1), 16-bit at 48 kHz;
// OUT is stereo 16-bit at 48 kHz.
#include "platform/mmstream/audio_tempo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: sound_mode_bench normal|clear|night CHANNELS IN.raw OUT.raw [SPEED]\n");
        return 2;
    }
    const std::string modeName = argv[1];
    const platform::SoundMode mode = modeName == "clear" ? platform::SoundMode::ClearDialogue
        : modeName == "night"                            ? platform::SoundMode::Night
                                                         : platform::SoundMode::Normal;
    const int channels = std::atoi(argv[2]);
    const double speed = argc > 5 ? std::atof(argv[5]) : 1.0;
    const uint64_t mask = channels == 6 ? 0x60F : channels == 8 ? 0x63F : channels == 2 ? 0x3 : channels == 1 ? 0x4 : 0;
    if (channels < 1 || channels > 8) {
        std::fprintf(stderr, "sound_mode_bench: 1 to 8 channels\n");
        return 2;
    }
    FILE* in = std::fopen(argv[3], "rb");
    FILE* out = std::fopen(argv[4], "wb");
    if (!in || !out) {
        std::fprintf(stderr, "sound_mode_bench: cannot open %s or %s\n", argv[3], argv[4]);
        return 1;
    }
    std::vector<int16_t> input;
    int16_t piece[4096];
    size_t got = 0;
    while ((got = std::fread(piece, sizeof(int16_t), 4096, in)) > 0)
        input.insert(input.end(), piece, piece + got);
    std::fclose(in);

    constexpr int rate = 48000;
    constexpr int deviceChannels = 2;
    platform::AudioTempo filter(rate, deviceChannels);
    std::vector<int16_t> output;
    output.reserve(input.size() / channels * deviceChannels * 2);
    const auto started = std::chrono::steady_clock::now();
    const bool made = filter.start(speed, mode, platform::SoundLayout { channels, mask });
    const size_t frames = input.size() / channels;
    for (size_t at = 0; at < frames; at += 1024) {
        const int n = static_cast<int>(std::min<size_t>(1024, frames - at));
        if (filter.needed(speed, mode, platform::SoundLayout { channels, mask }))
            filter.process(input.data() + at * channels, n, output);
        else
            output.insert(output.end(), input.data() + at * channels, input.data() + (at + n) * channels);
    }
    filter.finish(output);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fwrite(output.data(), sizeof(int16_t), output.size(), out);
    std::fclose(out);
    const double soundSeconds = static_cast<double>(frames) / rate;
    std::printf("%s %d channels%s: %.3f s of filter for %.1f s of sound (%.2f %% of one core)\n", modeName.c_str(),
        channels, made ? "" : " (filter not made as asked)", seconds, soundSeconds, 100.0 * seconds / soundSeconds);
    return made ? 0 : 1;
}

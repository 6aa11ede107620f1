// Screenshot benchmark: what F12 and Shift+F12 cost the main thread on a 1920x1080x32 screen with the
// status bar and a two-line caption, and what the writer's thread then spends encoding one PNG. The
// main thread's part is the copy of the pixels and the hand-over (plus, for Shift+F12 on a real movie,
// the conversion of the pending picture into the sample); the writer is waited for outside the timing.
// Prints the median milliseconds of the main thread's CPU over the rounds: the machine may be shared.
//
//   screenshot_bench [MOVIE [rounds]]   (without a movie: a scripted 1920x1080 one)
#include "app/main_loop.h"
#include "display/frame_composition.h"
#include "display/screenshot.h"
#include "display/video_placement.h"
#include "media/media_stream.h"
#include "platform/mmstream/png_encoder.h"
#include "platform/picture_files.h"
#include "support/scripted_media_backend.h"
#include "tools/common/bench_timing.h"
#include "tools/common/composition_rig.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

template<typename F> double medianMilliseconds(int rounds, F&& f)
{
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r)
        times.push_back(f());
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double since(double startMicroseconds)
{
    return (bench::threadMicroseconds() - startMicroseconds) / 1000.0;
}

}

int main(int argc, char** argv)
{
    const char* moviePath = argc > 1 ? argv[1] : nullptr;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;

    // The pictures go to a scratch folder, removed at the end.
    const std::filesystem::path scratch = std::filesystem::temp_directory_path()
        / ("sublumen-screenshot-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch / "config");
    setenv("HOME", scratch.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);

    std::optional<testing_support::ScriptedBackendScope> scripted;
    if (!moviePath) {
        auto script = std::make_shared<testing_support::MediaScript>();
        script->properties.width = 1920;
        script->properties.height = 1080;
        script->properties.duration = std::chrono::minutes(100);
        script->time = std::chrono::minutes(42);
        scripted.emplace(script);
    }

    {
        tools::CompositionRig rig(1920, 1080, 32);
        sublumen::System& sys = rig.sys;
        sys.settings.seekbar = 1;
        sublumen::MediaStream* stream = sublumen::openMovieStream(sys, moviePath ? moviePath : "/bench/movie.mp4");
        if (!rig.ready() || !stream || stream->lastResult != 0) {
            std::fprintf(stderr, "screenshot_bench: no back surface, fonts or movie\n");
            return 1;
        }
        sys.movie.movieDuration = stream->duration;
        sublumen::computeVideoPlacement(sys);
        if (moviePath)
            stream->setRun(1);
        else
            bench::fillPicture(*stream->surface->pixels());
        sublumen::renderFrame(sys);

        const platform::PixelView& frame = *stream->surface->pixels();
        std::printf("screenshot, %dx%d movie on 1920x1080x32 (%s), main thread, median of %d:\n", frame.width,
            frame.height, moviePath ? moviePath : "scripted", rounds);

        double composed = medianMilliseconds(rounds, [&] {
            sublumen::renderFrame(sys);
            sublumen::requestScreenshot(sys, false);
            const double start = bench::threadMicroseconds();
            sublumen::takeComposedScreenshots(sys);
            double ms = since(start);
            sys.screenshots.writer->waitIdle();
            return ms;
        });
        std::printf("  F12 (copy of the composed screen):  %.2f ms\n", composed);

        double movieFrame = medianMilliseconds(rounds, [&] {
            // A fresh picture each round, still pending in the sample as in playback.
            sublumen::renderFrame(sys);
            const double start = bench::threadMicroseconds();
            sublumen::requestScreenshot(sys, true);
            double ms = since(start);
            sys.screenshots.writer->waitIdle();
            return ms;
        });
        std::printf("  Shift+F12 (the movie's frame):      %.2f ms\n", movieFrame);

        std::vector<uint8_t> png;
        double encode = medianMilliseconds(std::min(rounds, 5), [&] {
            const double start = bench::threadMicroseconds();
            platform::encodePng(rig.screen(), png);
            return since(start);
        });
        std::printf("writer thread: PNG of the 1920x1080 screen %.1f ms, %zu bytes\n", encode, png.size());
        sublumen::noteSavedScreenshots(sys);
        sys.screenshots.writer.reset();
        sublumen::closeMovieStream(sys);
    }
    std::filesystem::remove_all(scratch);
    return 0;
}

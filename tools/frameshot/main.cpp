// Composes a frame the way the player does — picture, borders, status bar, caption, information
// overlay with its shadow — from a short movie encoded on the spot and played on the real streaming
// engine, and writes the back surface as a PNG to look at.
//
//   frameshot OUT.png [screenx screeny [movie-width movie-height [fitmode]]]
#include "app/main_loop.h"
#include "app/system.h"
#include "display/frame_composition.h"
#include "display/video_placement.h"
#include "media/media_stream.h"
#include "movie_fixture.h"
#include "tools/common/composition_rig.h"
#include "tools/common/png_writer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: frameshot OUT.png [screenx screeny [movie-width movie-height [fitmode]]]\n");
        return 2;
    }
    const int screenX = argc > 3 ? std::atoi(argv[2]) : 640;
    const int screenY = argc > 3 ? std::atoi(argv[3]) : 480;
    fixtures::MovieRecipe recipe;
    recipe.width = argc > 5 ? std::atoi(argv[4]) : 640;
    recipe.height = argc > 5 ? std::atoi(argv[5]) : 352;
    recipe.frameCount = 40;
    const int fitmode = argc > 6 ? std::atoi(argv[6]) : sublumen::FitMode::LetterBox;
    // Sound plays on a device that needs none; the clock still runs in real time.
    setenv("SDL_AUDIODRIVER", "dummy", 0);

    const std::string moviePath = (std::filesystem::temp_directory_path()
        / ("frameshot-" + std::to_string(getpid()) + fixtures::extensionOf(recipe.kind))).string();
    std::string failure = fixtures::writeMovie(moviePath, recipe);
    if (!failure.empty()) {
        std::fprintf(stderr, "frameshot: cannot encode the movie: %s\n", failure.c_str());
        return 1;
    }

    int result = 0;
    {
        tools::CompositionRig rig(screenX, screenY, 32);
        if (!rig.ready()) {
            std::fprintf(stderr, "frameshot: no back surface or no fonts\n");
            std::filesystem::remove(moviePath);
            return 1;
        }
        sublumen::System& sys = rig.sys;
        sys.settings.help = 1;
        sys.settings.captionstyle |= sublumen::styleOutline;
        sys.commands.volume = 192;
        std::snprintf(sys.movie.currentItem.title, sizeof sys.movie.currentItem.title, "시험 영상");
        std::snprintf(sys.movie.currentItem.movie, sizeof sys.movie.currentItem.movie, "%s", moviePath.c_str());
        std::snprintf(sys.movie.currentItem.caption, sizeof sys.movie.currentItem.caption, "(built in)");
        sys.settings.fitmode = fitmode;

        sublumen::MediaStream* stream = sublumen::openMovieStream(sys, moviePath.c_str());
        if (stream->lastResult != 0) {
            std::fprintf(stderr, "frameshot: the movie did not open (step %d)\n", stream->lastResult);
            result = 1;
        } else {
            sys.movie.movieDuration = stream->duration;
            sublumen::computeVideoPlacement(sys);
            stream->setRun(1);
            // Play about two seconds so the status bar and the frame rate have something to show.
            auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2200);
            while (std::chrono::steady_clock::now() < until && !stream->ended) {
                sublumen::clockTick(sys);
                sublumen::renderFrame(sys);
            }
            stream->setRun(0);
            sublumen::renderFrame(sys);
            if (!tools::writePng(argv[1], rig.screen())) {
                std::fprintf(stderr, "frameshot: cannot write %s\n", argv[1]);
                result = 1;
            }
        }
    }
    std::filesystem::remove(moviePath);
    return result;
}

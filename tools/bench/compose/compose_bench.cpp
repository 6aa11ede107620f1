// Composition benchmark: renderFrame for a 1280x720 movie on a 1920x1080x32 screen with the status bar,
// a two-line caption with shadow and both outlines, and the information overlay with its shadow pass.
// The decode is left out: the movie runs on the scripted engine, stopped, so every update answers at
// once with the picture already in the sample surface, and the frame is copied from there. Presenting
// is left out too (the back surface is off-screen). Prints milliseconds of CPU time per frame (the
// median of several rounds), plain and with EnhanceImage, and the parts of a frame.
//
//   compose_bench [rounds]
#include "app/main_loop.h"
#include "display/frame_composition.h"
#include "display/overlay_text.h"
#include "display/video_placement.h"
#include "media/media_stream.h"
#include "platform/gdi/gdi.h"
#include "support/scripted_media_backend.h"
#include "tools/common/bench_timing.h"
#include "tools/common/composition_rig.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

template<typename F> double millisecondsPerCall(int calls, int rounds, F&& f)
{
    return bench::microsecondsPerCall(calls, rounds, f) / 1000.0;
}

using bench::fillPicture;

}

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int frames = 20;

    auto script = std::make_shared<testing_support::MediaScript>();
    script->properties.width = 1280;
    script->properties.height = 720;
    script->properties.duration = std::chrono::minutes(100);
    script->time = std::chrono::minutes(42);
    script->running = false;  // stopped: the picture in the sample stands and every update answers at once
    testing_support::ScriptedBackendScope scope(script);

    tools::CompositionRig rig(1920, 1080, 32);
    if (!rig.ready()) {
        std::fprintf(stderr, "compose_bench: no back surface or no fonts\n");
        return 1;
    }
    sublumen::System& sys = rig.sys;
    sys.settings.help = 1;
    sys.settings.seekbar = 1;
    sys.settings.captionstyle = sublumen::styleShadow | sublumen::styleOutline | sublumen::styleThickOutline
        | sublumen::styleSemiAutoPlace;
    sys.commands.volume = 200;
    sublumen::MediaStream* stream = sublumen::openMovieStream(sys, "/bench/movie.mp4");
    if (stream->lastResult != 0) {
        std::fprintf(stderr, "compose_bench: the scripted movie did not open (step %d)\n", stream->lastResult);
        return 1;
    }
    sys.movie.movieDuration = stream->duration;
    sublumen::computeVideoPlacement(sys);
    fillPicture(*stream->surface->pixels());

    std::printf("renderFrame, 1280x720 picture on 1920x1080x32, status bar, two-line caption with shadow and "
                "outlines, overlay with shadow:\n");
    sys.commands.pictureFlags = 0;
    double plain = millisecondsPerCall(frames, rounds, [&] { sublumen::renderFrame(sys); });
    std::printf("  plain copy:       %.2f ms per frame\n", plain);
    sys.commands.pictureFlags = sublumen::EnhanceImage;
    double enhanced = millisecondsPerCall(frames, rounds, [&] { sublumen::renderFrame(sys); });
    std::printf("  with EnhanceImage: %.2f ms per frame\n", enhanced);

    // The parts, for finding where the time goes.
    sys.commands.pictureFlags = 0;
    const sublumen::VideoPlacement& p = sys.videoPlacement;
    auto part = [&](const char* name, auto&& f) {
        std::printf("  part %-28s %.2f ms\n", name, millisecondsPerCall(frames, rounds, f));
    };
    part("fillBorders", [&] {
        HDC dc = sys.displays.backSurface()->getDC();
        sublumen::fillBorders(dc, sublumen::frameLayout(sys), sublumen::frameContent(sys));
        sys.displays.backSurface()->releaseDC(dc);
    });
    part("update", [&] { stream->update(); });
    part("blitFrame (Blt)", [&] {
        stream->blitFrame(sys.displays.backSurface(), p.srcX, p.srcY, p.srcWidth, p.srcHeight, p.dstX, p.dstY,
            p.dstWidth, p.dstHeight, 0);
    });
    part("blitFrame (halftone)", [&] {
        stream->blitFrame(sys.displays.backSurface(), p.srcX, p.srcY, p.srcWidth, p.srcHeight, p.dstX, p.dstY,
            p.dstWidth, p.dstHeight, sublumen::EnhanceImage);
    });
    part("drawSeekBar", [&] {
        HDC dc = sys.displays.backSurface()->getDC();
        sublumen::drawSeekBar(dc, sublumen::frameLayout(sys), sublumen::statusBar(sys, 2'520'000));
        sys.displays.backSurface()->releaseDC(dc);
    });
    part("caption draw", [&] {
        HDC dc = sys.displays.backSurface()->getDC();
        HFONT previous = SelectObject(dc, sys.startup.captionFont);
        rig.caption->draw(0, dc, 0, 1080 - 100, 1920, 100, sys.settings.captionstyle);
        SelectObject(dc, previous);
        sys.displays.backSurface()->releaseDC(dc);
    });
    part("drawInfoOverlay, both passes", [&] {
        const sublumen::OverlayText text = sublumen::overlayText(sys);
        HDC dc = sys.displays.backSurface()->getDC();
        sublumen::drawInfoOverlay(dc, sublumen::frameLayout(sys), text, 1);
        sublumen::drawInfoOverlay(dc, sublumen::frameLayout(sys), text, 0);
        sys.displays.backSurface()->releaseDC(dc);
    });
    return 0;
}

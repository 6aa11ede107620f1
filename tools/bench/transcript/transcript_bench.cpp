// Transcript benchmark. On tracks of 2 000 and 200 000 captions (Korean sentences with a few English
// ones, 20 to 40 characters each): what opening the panel (F3) costs, what each key of a search costs
// (by initial consonants, by a syllable typed letter by letter, in Latin letters), and what drawing the
// open panel costs on a 1920x1080x32 screen. Then the card writer's wall time for a 5-second line of a
// 1280x720 H.264 + AAC movie, with the picture handed over (the caption shown) and taken from the file
// (a line chosen in the panel). Figures are this thread's CPU time, medians; the machine may be shared.
//
//   transcript_bench [rounds]
#include "caption/caption.h"
#include "display/frame_composition.h"
#include "display/transcript_text.h"
#include "display/video_placement.h"
#include "media/transcript_panel.h"
#include "movie_fixture.h"
#include "platform/card_files.h"
#include "support/scripted_media_backend.h"
#include "tools/common/bench_timing.h"
#include "tools/common/composition_rig.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* const sentences[] = {
    "정말 괜찮아? 다친 데는 없어?",
    "오늘 밤에는 집에 일찍 들어갈게요",
    "그 사람이 그렇게 말했다고요?",
    "내일 아침에 다시 이야기하자",
    "Are you sure about this?",
    "이번에는 절대 놓치지 않을 거야",
    "우리가 처음 만났던 곳 기억나요?",
    "조금만 더 기다려 주세요, 금방 끝나요",
    "I told you, it's not my fault.",
    "왜 이제야 말하는 거예요?",
    "배고프지 않아? 뭐라도 좀 먹자",
    "그건 네가 생각하는 것과 달라",
};

double since(double start)
{
    return (bench::threadMicroseconds() - start) / 1000.0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

void fillTrack(sublumen::Caption& track, size_t count)
{
    track.unload();
    uint32_t t = 1000;
    for (size_t i = 0; i < count; ++i) {
        std::string text = sentences[i % std::size(sentences)];
        text += " " + std::to_string(i);
        track.addEntry(t, text.c_str());
        track.addEntry(t + 2500, "&nbsp;");
        t += 3000;
    }
    track.addEntry(sublumen::endMarker, "");
}

// Types text into the open panel, a character at a time; the cost of each character's last byte,
// which runs the search.
std::vector<double> typeKeys(sublumen::System& sys, const std::string& text)
{
    std::vector<double> costs;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool last = i + 1 == text.size() || (static_cast<unsigned char>(text[i + 1]) & 0xC0) != 0x80;
        const double start = bench::threadMicroseconds();
        sublumen::typeIntoTranscript(sys, static_cast<unsigned char>(text[i]));
        if (last)
            costs.push_back(since(start));
    }
    return costs;
}

void measureTrack(tools::CompositionRig& rig, size_t count, int rounds)
{
    sublumen::System& sys = rig.sys;
    if (sys.transcript.open)
        sublumen::toggleTranscript(sys);
    fillTrack(*rig.caption, count);

    std::vector<double> opening;
    for (int r = 0; r < std::min(rounds, 5); ++r) {
        const double start = bench::threadMicroseconds();
        sublumen::toggleTranscript(sys);
        opening.push_back(since(start));
        if (r + 1 < std::min(rounds, 5))
            sublumen::toggleTranscript(sys);
    }
    std::printf("%zu captions: F3 opens the panel in %.1f ms\n", count, median(opening));

    // The syllable 괜찮 as the input method composes it: each state replaces the last.
    const char* const composing[] = { "ㄱ", "고", "과", "괘", "괜", "괜ㅊ", "괜차", "괜찬", "괜찮" };
    for (const char* query : { "ㄱㅊㅇ", "you ok", "괜찮" }) {
        std::vector<double> keys;
        for (int r = 0; r < rounds; ++r) {
            while (!sys.transcript.typed.empty())
                sublumen::eraseFromTranscript(sys);
            std::vector<double> costs;
            if (std::string(query) == "괜찮") {
                // Committed states, as typed by a desktop without an input method's composition.
                for (const char* state : composing) {
                    while (!sys.transcript.typed.empty())
                        sublumen::eraseFromTranscript(sys);
                    std::vector<double> c = typeKeys(sys, state);
                    costs.push_back(c.back());
                }
            } else {
                costs = typeKeys(sys, query);
            }
            keys.push_back(*std::max_element(costs.begin(), costs.end()));
        }
        std::printf("  search \"%s\": %zu matches, slowest key %.2f ms\n", query, sys.transcript.matches.size(),
            median(keys));
    }
    while (!sys.transcript.typed.empty())
        sublumen::eraseFromTranscript(sys);

    const sublumen::FrameLayout layout = sublumen::frameLayout(sys);
    platform::PixelView pixels = rig.screen();
    HDC dc = platform::createSurfaceDC(pixels);
    const double draw = bench::microsecondsPerCall(20, rounds, [&] {
        sublumen::followTranscript(sys);
        sublumen::drawTranscriptPanel(sys, dc, pixels, layout);
    }) / 1000.0;
    platform::destroySurfaceDC(dc);
    std::printf("  drawing the open panel at 1920x1080: %.2f ms a frame (%zu rows)\n", draw, sys.transcript.pageRows);
}

double wallMilliseconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void measureCard(const std::filesystem::path& scratch, int rounds)
{
    fixtures::MovieRecipe recipe;
    recipe.kind = fixtures::MovieKind::H264AacMp4;
    if (!fixtures::canEncode(recipe.kind)) {
        std::printf("card: no H.264/AAC encoder, skipped\n");
        return;
    }
    recipe.width = 1280;
    recipe.height = 720;
    recipe.framesPerSecond = 25;
    recipe.frameCount = 25 * 30;
    recipe.keyFrameInterval = 250;
    const std::string movie = (scratch / "movie.mp4").string();
    if (std::string failure = fixtures::writeMovie(movie, recipe); !failure.empty()) {
        std::printf("card: no movie (%s), skipped\n", failure.c_str());
        return;
    }
    auto shown = std::make_shared<platform::Surface>(1280, 720, platform::PixelFormat::XRGB8888);
    bench::fillPicture(*shown);
    for (bool given : { true, false }) {
        std::vector<double> times;
        for (int r = 0; r < std::min(rounds, 5); ++r) {
            platform::CardJob job;
            job.folder = (scratch / "cards").string();
            job.moviePath = movie;
            job.start = 20000;
            job.end = 25000;
            job.pictureTime = 22500;
            if (given)
                job.picture = shown;
            job.name = "bench";
            job.fields = { "movie.mp4", "00:00:20.000", "00:00:25.000", "정말 괜찮아?", "Are you OK?" };
            const auto start = std::chrono::steady_clock::now();
            const platform::CardResult result = platform::writeCard(job);
            times.push_back(wallMilliseconds(start));
            if (result.error != platform::CardError::None) {
                std::printf("card: failed: %s\n", result.reason.c_str());
                return;
            }
        }
        std::printf("card of a 5 s line of a 1280x720 H.264 movie, picture %s: %.0f ms (writer thread, wall)\n",
            given ? "handed over" : "from the file, 2.5 s after a keyframe", median(times));
    }
}

}

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::filesystem::path scratch = std::filesystem::temp_directory_path()
        / ("sublumen-transcript-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch);

    auto script = std::make_shared<testing_support::MediaScript>();
    script->properties.width = 1920;
    script->properties.height = 1080;
    script->properties.duration = std::chrono::hours(170);
    script->time = std::chrono::minutes(42);
    {
        testing_support::ScriptedBackendScope scripted(script);
        tools::CompositionRig rig(1920, 1080, 32);
        sublumen::System& sys = rig.sys;
        sublumen::MediaStream* stream = sublumen::openMovieStream(sys, "/bench/movie.mp4");
        if (!rig.ready() || !stream || stream->lastResult != 0) {
            std::fprintf(stderr, "transcript_bench: no back surface, fonts or movie\n");
            return 1;
        }
        sys.movie.movieDuration = stream->duration;
        sublumen::computeVideoPlacement(sys);
        measureTrack(rig, 2000, rounds);
        measureTrack(rig, 200000, rounds);
        if (sys.transcript.open)
            sublumen::toggleTranscript(sys);
        sublumen::closeMovieStream(sys);
    }
    measureCard(scratch, rounds);
    std::filesystem::remove_all(scratch);
    return 0;
}

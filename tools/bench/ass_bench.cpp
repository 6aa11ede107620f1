// SSA/ASS drawn as authored at 1920x1080x32: what one composed frame costs, the rendering by libass on its
// worker and the blend onto the back surface together (AuthoredCaptions::blend, which waits for the
// rendering), in CPU time of the process, for
//   - typical dialogue: two-line Korean captions with outline and shadow, a new one every 2.5 s;
//   - a heavy sign scene: 24 rotated, blurred, moving signs and a 20-syllable karaoke line, all of it
//     changing every frame;
//   - a file of 100 000 events (the renderer looks at each of them every frame).
// Frames run at 24 per second of movie time over the scene; prints the mean, the median and the worst
// frame, what libass alone costs of it (its own renderer, set up as the player's, rendering the same
// frames and nothing more), then the same scene as the player runs it, 24 frames a second of wall time
// with the default render budget: how long the main thread is held up a frame (wall time). With
// --checksum each frame is then blended once more onto a fresh copy of the picture (untimed: the copying
// would flush the caches the frames are measured with) and a checksum of all of them is printed, so a
// change that must leave the pixels alone can be checked.
//
// With --movie FILE it opens the movie instead as the player does (its caption streams, the styles and
// fonts of the SSA/ASS ones), makes the chosen stream's renderer and renders a frame, and prints the fonts
// and the peak memory: what a movie's attached fonts cost.
//
//   ass_bench [--checksum] [seconds of movie per scene]
//   ass_bench --movie FILE
#include "platform/authored_captions.h"
#include "platform/mmstream/media_backend.h"
#include "tools/common/bench_timing.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

extern "C" {
#include <ass/ass.h>
}

namespace {

const char* const header = "[Script Info]\nScriptType: v4.00+\nPlayResX: 1920\nPlayResY: 1080\nWrapStyle: 0\n\n"
                           "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
                           "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, "
                           "Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
                           "Style: Default,NanumGothic,64,&H00FFFFFF,&H000000FF,&H00000000,&H80000000,1,0,0,0,100,"
                           "100,0,0,1,3,2,2,40,40,50,1\n"
                           "Style: Sign,NanumMyeongjo,56,&H0000FFFF,&H000000FF,&H00202020,&H80000000,0,0,0,0,100,"
                           "100,0,0,1,2,0,7,10,10,10,1\n\n"
                           "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, "
                           "Text\n";

std::string timeText(int ms)
{
    char out[32];
    std::snprintf(out, sizeof out, "%d:%02d:%02d.%02d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms / 10 % 100);
    return out;
}

std::string dialogue(int start, int end, const std::string& style, const std::string& text)
{
    return "Dialogue: 0," + timeText(start) + "," + timeText(end) + "," + style + ",,0,0,0,," + text + "\n";
}

std::string typicalScript(int seconds)
{
    std::string s = header;
    for (int t = 0, n = 0; t < seconds * 1000; t += 2500, ++n)
        s += dialogue(t, t + 2300, "Default",
            "오늘 밤 우리는 모두 함께 " + std::to_string(n) + "번째 장면을 끝까지 보기로 했어요\\N자막은 두 줄, 외곽선과 그림자까지");
    return s;
}

std::string heavyScript(int seconds)
{
    std::string s = header;
    const int end = seconds * 1000;
    for (int i = 0; i < 24; ++i) {
        const int x = 80 + (i % 6) * 300;
        const int y = 80 + (i / 6) * 220;
        s += dialogue(0, end, "Sign",
            "{\\move(" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(x + 60) + ","
                + std::to_string(y + 40) + ")\\frz" + std::to_string(i * 7 % 40 - 20) + "\\blur2\\t(\\frz"
                + std::to_string(i * 3) + ")}간판 " + std::to_string(i) + " SIGN");
    }
    std::string karaoke = "{\\an8\\fad(200,200)}";
    for (int k = 0; k < 20; ++k)
        karaoke += "{\\kf" + std::to_string(end / 2000 + 10) + "}노래" + std::to_string(k) + " ";
    s += dialogue(0, end, "Default", karaoke);
    s += dialogue(0, end, "Default", "이 장면에는 간판이 스물네 개 있습니다\\N그리고 노래 가사가 함께 나옵니다");
    return s;
}

std::string manyEventsScript()
{
    std::string s = header;
    s.reserve(s.size() + 100000 * 90);
    for (int i = 0; i < 100000; ++i)
        s += dialogue(i * 100, i * 100 + 90, "Default", "짧은 대사 " + std::to_string(i));
    return s;
}

// CPU time of the whole process, the renderer's worker included: the machine may be shared, and the
// figure wanted is the work a frame costs.
double processMicroseconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

// FNV-1a over the picture's 64-bit words: the same for the same pixels, and cheap next to a frame.
uint64_t checksum(const platform::Surface& s, uint64_t h)
{
    const size_t words = s.pixels.size() / sizeof(uint64_t);
    for (size_t i = 0; i < words; ++i) {
        uint64_t w;
        std::memcpy(&w, s.pixels.data() + i * sizeof w, sizeof w);
        h = (h ^ w) * 0x100000001b3u;
    }
    return h;
}

void report(const char* name, const char* what, std::vector<double> costs)
{
    double sum = 0;
    for (double c : costs)
        sum += c;
    std::sort(costs.begin(), costs.end());
    std::printf("%s, %s: %.3f ms a frame on average, %.3f ms the median, %.3f ms the worst (%zu frames)\n", name,
        what, sum / costs.size() / 1000, costs[costs.size() / 2] / 1000, costs.back() / 1000, costs.size());
}

bool withChecksum = false;

// The renderer by itself over the same frames, with the player's fonts and cache limits: the floor under
// what the player can make of a scene.
void measureRendererAlone(const char* name, std::string script, int fromMs, int seconds)
{
    ASS_Library* library = ass_library_init();
    if (library)
        ass_set_message_cb(library, [](int, const char*, va_list, void*) { }, nullptr);
    ASS_Renderer* renderer = library ? ass_renderer_init(library) : nullptr;
    ASS_Track* track = renderer ? ass_read_memory(library, script.data(), script.size(), nullptr) : nullptr;
    if (track) {
        platform::setUpRenderer(renderer);
        ass_set_frame_size(renderer, 1920, 1080);
        ass_set_storage_size(renderer, 1920, 1080);
        ass_render_frame(renderer, track, fromMs, nullptr);
        std::vector<double> costs;
        for (int ms = fromMs; ms < fromMs + seconds * 1000; ms += 1000 / 24) {
            const double start = processMicroseconds();
            ass_render_frame(renderer, track, ms, nullptr);
            costs.push_back(processMicroseconds() - start);
        }
        report(name, "libass alone", costs);
    }
    if (track)
        ass_free_track(track);
    if (renderer)
        ass_renderer_done(renderer);
    if (library)
        ass_library_done(library);
}

void measure(const char* name, const std::string& script, int fromMs, int seconds)
{
    std::unique_ptr<platform::AuthoredCaptions> captions = platform::AuthoredCaptions::fromScript(script);
    if (!captions) {
        std::printf("%s: the script was not read\n", name);
        return;
    }
    captions->setRenderBudget(std::chrono::minutes(1));
    platform::Surface picture(1920, 1080, platform::PixelFormat::XRGB8888);
    bench::fillPicture(picture);
    platform::Surface back = picture;
    const platform::PictureFrame frame { 0, 0, 1920, 1080, 1920, 1080 };
    captions->blend(back, frame, fromMs);  // the font look-up and the first glyphs, once per movie
    std::vector<double> costs;
    for (int ms = fromMs; ms < fromMs + seconds * 1000; ms += 1000 / 24) {
        const double start = processMicroseconds();
        captions->blend(back, frame, ms);
        costs.push_back(processMicroseconds() - start);
    }
    report(name, "work", costs);
    measureRendererAlone(name, script, fromMs, seconds);

    // As the player runs it: the picture waits for the rendering at most the default budget, so what
    // matters on the main thread is how long a frame is held up there (wall time; a loaded machine adds).
    // Frames come at their pace, 24 a second, as in playback: asked back to back, the worker would still
    // be on the last one at each new frame, which is then shown without waiting, and the figure would
    // say nothing of the player.
    captions->setRenderBudget(platform::AuthoredCaptions::defaultRenderBudget);
    std::vector<double> held;
    auto due = std::chrono::steady_clock::now();
    for (int ms = fromMs; ms < fromMs + seconds * 1000; ms += 1000 / 24) {
        due += std::chrono::milliseconds(1000 / 24);
        std::this_thread::sleep_until(due);
        const auto start = std::chrono::steady_clock::now();
        captions->blend(back, frame, ms);
        held.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    report(name, "main thread held", held);

    if (!withChecksum)
        return;
    // A renderer of its own: the one above may still be on a frame the main thread stopped waiting for.
    captions = platform::AuthoredCaptions::fromScript(script);
    captions->setRenderBudget(std::chrono::minutes(1));
    uint64_t sum = 0xcbf29ce484222325u;
    for (int ms = fromMs; ms < fromMs + seconds * 1000; ms += 1000 / 24) {
        back.pixels = picture.pixels;
        captions->blend(back, frame, ms);
        sum = checksum(back, sum);
    }
    std::printf("%s, checksum of the blended frames: %016llx\n", name, static_cast<unsigned long long>(sum));
}

int openMovie(const char* path)
{
    platform::OpenOptions options;
    options.playAudio = false;
    platform::OpenError error = platform::OpenError::None;
    std::unique_ptr<platform::MediaBackend> movie = platform::openFfmpegBackend(path, options, error);
    if (!movie) {
        std::printf("%s: the movie cannot be opened\n", path);
        return 1;
    }
    const platform::CaptionStreamInfo chosen = movie->captionStream();
    const std::vector<platform::CaptionStreamInfo> streams = movie->captionStreams();
    // The font lists the streams hold, told apart by where they lie: one list shared, or one per stream.
    std::set<const platform::CaptionFonts*> lists;
    size_t fonts = 0, bytes = 0;
    for (const platform::CaptionStreamInfo& s : streams)
        if (s.style && s.style->fonts && lists.insert(s.style->fonts.get()).second)
            for (const platform::CaptionFont& font : *s.style->fonts) {
                ++fonts;
                bytes += font.data.size();
            }
    std::printf("%zu caption streams, %zu font lists held, %zu fonts of %.1f MB in them\n", streams.size(),
        lists.size(), fonts, bytes / 1e6);
    if (chosen.style) {
        std::unique_ptr<platform::AuthoredCaptions> captions = platform::AuthoredCaptions::fromStream(*chosen.style);
        if (captions) {
            captions->setRenderBudget(std::chrono::minutes(1));
            platform::Surface back(1920, 1080, platform::PixelFormat::XRGB8888);
            captions->blend(back, { 0, 0, 1920, 1080, 1920, 1080 }, 0);
        }
    }
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}

}

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--movie") == 0)
        return openMovie(argv[2]);
    int first = 1;
    if (argc > first && std::strcmp(argv[first], "--checksum") == 0) {
        withChecksum = true;
        ++first;
    }
    const int seconds = argc > first ? std::max(1, std::atoi(argv[first])) : 20;
    std::printf("SSA/ASS as authored, 1920x1080x32, render and blend per frame (CPU time of both threads):\n");
    measure("typical dialogue", typicalScript(seconds), 0, seconds);
    measure("heavy sign scene", heavyScript(seconds), 0, seconds);
    measure("100 000 events", manyEventsScript(), 5000000, seconds);
    return 0;
}

// stream_bench [--threads N] [--seconds S] [--keep DIR] [--steps CLIP] [--throughput CLIP [--filter F]]
//
// Both parts play through the player's own MediaStream on a Display (DirectDraw on the scripted display
// driver, 32-bit desktop): every picture is decoded into the stream's DirectDraw surface by update and
// copied onto a back surface of the picture's size by blitFrame, as frame composition does.
// 1. Throughput: 720p and 1080p H.264 clips (made with the ffmpeg command line) decoded as fast as
//    frames come — open, run, update + blitFrame for every frame (the engine opened untimed) —
//    against `ffmpeg -threads N -i clip -f null -` on the same clip in the same run. Prints the ratio of
//    frame rates (1.0 = as fast as ffmpeg; the target is at least 0.85).
// 2. Real-time play of the 1080p clip with sound on the dummy device: the offset between the stream
//    clock and the presented picture's time at every update (median and 95th percentile against one
//    frame), and the peak resident memory.
// 3. Frame steps on a 1080p clip with a keyframe every 2 s (-g 60 at 30 fps), stopped as the player is
//    when paused: the time from a step to its picture in the back surface, back (decoded from the
//    keyframe before it, so the worst case is the picture just before a keyframe) and forward; median and
//    worst (and the CPU time a step back costs, which the machine's load does not inflate), and whether
//    every step gave exactly the neighbouring picture time. `--steps CLIP` measures
//    only that, on any clip.
// `--throughput CLIP` measures only part 1 on any clip, against `ffmpeg -vf F` when --filter F is given
// (for an interlaced clip `bwdif=mode=send_field`, the pictures the player makes of it).
// Times are wall-clock; run it on an otherwise idle machine.

#include "display/display.h"
#include "media/media_stream.h"
#include "platform/ddraw/display_driver.h"
#include "platform/mmstream/media_backend.h"
#include "platform/mmstream/mmstream.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// User plus system time of this process (RUSAGE_SELF) or of its finished children.
double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs a program with an argument vector (no shell) and waits; returns its exit status.
int runProgram(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// keyInterval 0 leaves the encoder's own keyframe distance.
bool makeClip(const std::string& path, int width, int height, int seconds, int keyInterval = 0)
{
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::vector<std::string> args {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
        "testsrc2=size=" + size + ":rate=30", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t",
        std::to_string(seconds), "-c:v", "libx264", "-preset", "veryfast", "-crf", "20", "-pix_fmt", "yuv420p"};
    if (keyInterval > 0)
        args.insert(args.end(), {"-g", std::to_string(keyInterval), "-keyint_min", std::to_string(keyInterval)});
    args.insert(args.end(), {"-c:a", "aac", "-b:a", "128k", "-shortest", path});
    return runProgram(args) == 0;
}

struct Throughput {
    double seconds = 0;
    double cpu = 0;
    int frames = 0;
};

Throughput ffmpegDecode(const std::string& path, int threads, const std::string& filter = "")
{
    auto start = Clock::now();
    double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error", "-threads", std::to_string(threads),
        "-i", path, "-an"};
    if (!filter.empty())
        args.insert(args.end(), {"-vf", filter});
    args.insert(args.end(), {"-f", "null", "-"});
    int rc = runProgram(args);
    Throughput result;
    result.seconds = rc == 0 ? secondsSince(start) : -1;
    result.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    return result;
}

// A Display with a back surface of width × height, as the player has in window mode.
struct Screen {
    Screen(int width, int height)
    {
        auto driver = std::make_unique<platform::ScriptedDisplayDriver>();
        driver->desktopMode = {std::max(width, 1920), std::max(height, 1080), platform::PixelFormat::XRGB8888};
        platform::setDisplayDriver(std::move(driver));
        display = std::make_unique<sublumen::Display>();
        display->setCooperativeLevel(nullptr, DDSCL_NORMAL);
        back.reset(display->createOffScreenSurface(width, height));
    }
    ~Screen()
    {
        if (back)
            back->release();
        back.reset();
        display.reset();
        platform::setDisplayDriver(nullptr);
    }
    std::unique_ptr<sublumen::Display> display;
    std::unique_ptr<sublumen::DisplaySurface> back;
};

// Each frame as composition copies it: the whole picture onto the back surface.
int blitWhole(sublumen::MediaStream& stream, sublumen::DisplaySurface* back)
{
    const RECT& r = stream.videoRect;
    int w = r.right - r.left, h = r.bottom - r.top;
    return stream.blitFrame(back, 0, 0, w, h, 0, 0, w, h, 0);
}

Throughput streamDecode(const std::string& path, int threads, int width, int height)
{
    Screen screen(width, height);
    if (!screen.back)
        return {};
    platform::BackendOpener previous = platform::setMediaBackendOpener(
        [threads](const std::string& file, const platform::OpenOptions& asked, platform::OpenError& error) {
            platform::OpenOptions options = asked;
            options.untimed = true;
            options.decoderThreads = threads;
            return platform::openFfmpegBackend(file, options, error);
        });
    auto start = Clock::now();
    double cpuBefore = cpuSeconds(RUSAGE_SELF);
    Throughput result;
    {
        sublumen::MediaStream stream(screen.display.get(), path.c_str());
        if (stream.lastResult == 0) {
            stream.setRun(1);
            while (stream.update() == 0) {
                if (blitWhole(stream, screen.back.get()) != 0)
                    break;
                ++result.frames;
            }
        }
        stream.release();
    }
    result.seconds = secondsSince(start);
    result.cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    platform::setMediaBackendOpener(std::move(previous));
    return result;
}

// Part 1 on one clip; pictures counted on each side (the filter may make more pictures than frames).
int measureThroughput(const std::string& path, int threads, const std::string& filter)
{
    // The picture size, from the player's own stream.
    int width = 0, height = 0;
    {
        platform::OpenOptions options;
        options.untimed = true;
        platform::OpenError error = platform::OpenError::None;
        if (auto movie = platform::openFfmpegBackend(path, options, error)) {
            width = movie->properties().width;
            height = movie->properties().height;
        }
    }
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    ffmpegDecode(path, threads, filter);
    Throughput reference = ffmpegDecode(path, threads, filter);
    Throughput ours = streamDecode(path, threads, width, height);
    if (reference.seconds <= 0 || ours.frames == 0) {
        std::fprintf(stderr, "decoding %s failed\n", path.c_str());
        return 1;
    }
    std::printf("%s (%dx%d): ffmpeg -threads %d%s%s -f null %.2f s, cpu %.2f s; MediaStream open+run+update+blitFrame "
                "%.2f s, %d pictures (%.0f a second), cpu %.2f s; cpu ratio %.2f\n",
        path.c_str(), width, height, threads, filter.empty() ? "" : " -vf ", filter.c_str(), reference.seconds,
        reference.cpu, ours.seconds, ours.frames, ours.frames / ours.seconds, ours.cpu, ours.cpu / reference.cpu);
    return 0;
}

long peakResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// Plays the clip in real time the way the player does and reports offsets and memory.
int playRealTime(const std::string& path, int seconds)
{
    Screen screen(1920, 1080);
    sublumen::MediaStream stream(screen.display.get(), path.c_str());
    if (stream.lastResult != 0 || !screen.back) {
        std::fprintf(stderr, "cannot open %s (step %d)\n", path.c_str(), stream.lastResult);
        return 1;
    }
    STREAM_TIME frameTime = 0;
    IMediaStream* media = nullptr;
    IDirectDrawMediaStream* video = nullptr;
    if (SUCCEEDED(stream.stream->GetMediaStream(MSPID_PrimaryVideo, &media))) {
        if (SUCCEEDED(media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video)))) {
            video->GetTimePerFrame(&frameTime);
            video->Release();
        }
        media->Release();
    }

    std::vector<double> offsets;
    int shown = 0, busy = 0;
    stream.setRun(1);
    auto start = Clock::now();
    while (secondsSince(start) < seconds && !stream.ended) {
        int rc = stream.update();
        blitWhole(stream, screen.back.get());
        if (rc != 0) {
            ++busy;
            continue;
        }
        ++shown;
        STREAM_TIME begin = 0, now = 0;
        stream.sample->GetSampleTimes(&begin, nullptr, &now);
        offsets.push_back(std::abs(static_cast<double>(now - begin)) / 10'000.0);
    }
    stream.setRun(0);
    stream.release();

    std::sort(offsets.begin(), offsets.end());
    auto percentile = [&](double p) {
        return offsets.empty() ? 0.0 : offsets[std::min(offsets.size() - 1, static_cast<std::size_t>(p * offsets.size()))];
    };
    std::printf("  %d frames shown, %d updates without a frame\n", shown, busy);
    std::printf("  A/V offset |clock - picture start|: median %.1f ms, 95th percentile %.1f ms (one frame %.1f ms)\n",
        percentile(0.5), percentile(0.95), frameTime / 10'000.0);
    std::printf("  peak resident memory: %.1f MB\n", peakResidentKb() / 1024.0);
    return 0;
}

// Updates until a picture arrives, copying each into the back surface as composition does; false when
// none comes within two seconds.
bool awaitPicture(sublumen::MediaStream& stream, sublumen::DisplaySurface* back)
{
    auto start = Clock::now();
    while (secondsSince(start) < 2.0) {
        int rc = stream.update();
        blitWhole(stream, back);
        if (rc == 0)
            return true;
    }
    return false;
}

STREAM_TIME pictureStart(sublumen::MediaStream& stream)
{
    STREAM_TIME begin = -1;
    stream.sample->GetSampleTimes(&begin, nullptr, nullptr);
    return begin;
}

// Steps back and forward from places all over the keyframe interval, paused, and reports the times.
int measureSteps(const std::string& path)
{
    Screen screen(1920, 1080);
    sublumen::MediaStream stream(screen.display.get(), path.c_str());
    if (stream.lastResult != 0 || !screen.back) {
        std::fprintf(stderr, "cannot open %s (step %d)\n", path.c_str(), stream.lastResult);
        return 1;
    }
    std::vector<double> back, forward, backCpu;
    int exact = 0, steps = 0;
    const STREAM_TIME frame = 10'000'000 / 30;
    // From 4 s on, every 7th picture of the next 4 s: the previous picture lies at every distance from
    // the keyframe before it, the one just before a keyframe included.
    for (int n = 120; n < 240; n += 7) {
        stream.seek(static_cast<uint32_t>(n * 1000 / 30 + 1));
        if (!awaitPicture(stream, screen.back.get()))
            continue;
        for (bool ahead : {false, true}) {
            STREAM_TIME before = pictureStart(stream);
            auto start = Clock::now();
            const double cpuBefore = cpuSeconds(RUSAGE_SELF);
            if (stream.stepFrame(ahead ? 1 : -1) != 0 || !awaitPicture(stream, screen.back.get()))
                continue;
            (ahead ? forward : back).push_back(secondsSince(start) * 1000.0);
            if (!ahead)
                backCpu.push_back((cpuSeconds(RUSAGE_SELF) - cpuBefore) * 1000.0);
            STREAM_TIME gap = (pictureStart(stream) - before) * (ahead ? 1 : -1);
            ++steps;
            if (std::llabs(gap - frame) < frame / 4)
                ++exact;

        }
    }
    stream.release();
    auto report = [](const char* name, std::vector<double>& ms) {
        std::sort(ms.begin(), ms.end());
        if (ms.empty()) {
            std::printf("  %s: no step succeeded\n", name);
            return;
        }
        std::printf("  %s: %zu steps, median %.0f ms, worst %.0f ms\n", name, ms.size(), ms[ms.size() / 2], ms.back());
    };
    report("step back", back);
    // On a busy machine the wall-clock figures grow with the load; the CPU time does not.
    report("step back, CPU time of all threads", backCpu);
    report("step forward", forward);
    std::printf("  %d of %d steps gave exactly the neighbouring picture\n", exact, steps);
    return back.empty() || exact != steps ? 1 : 0;
}

}

int main(int argc, char** argv)
{
    int threads = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    int seconds = 20;
    std::string keep;
    std::string play;
    std::string steps;
    std::string throughput;
    std::string filter;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--threads" && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else if (a == "--seconds" && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else if (a == "--play" && i + 1 < argc)
            play = argv[++i];
        else if (a == "--steps" && i + 1 < argc)
            steps = argv[++i];
        else if (a == "--throughput" && i + 1 < argc)
            throughput = argv[++i];
        else if (a == "--filter" && i + 1 < argc)
            filter = argv[++i];
        else {
            std::fprintf(stderr,
                "usage: %s [--threads N] [--seconds S] [--keep DIR] [--steps CLIP] [--throughput CLIP [--filter F]]\n",
                argv[0]);
            return 2;
        }
    }
    if (threads < 1 || seconds < 1) {
        std::fprintf(stderr, "bad numbers\n");
        return 2;
    }
    // Headless by default: the dummy device plays in real time.
    setenv("SDL_AUDIODRIVER", std::getenv("SDL_AUDIODRIVER") ? std::getenv("SDL_AUDIODRIVER") : "dummy", 1);
    if (!play.empty())
        return playRealTime(play, seconds);
    if (!steps.empty())
        return measureSteps(steps);
    if (!throughput.empty())
        return measureThroughput(throughput, threads, filter);

    std::filesystem::path dir = keep.empty()
        ? std::filesystem::temp_directory_path() / ("sublumen-bench-" + std::to_string(getpid()))
        : std::filesystem::path(keep);
    std::filesystem::create_directories(dir);
    struct Clip {
        int width, height;
    } clips[] = {{1280, 720}, {1920, 1080}};
    std::string clip1080;
    std::printf("threads %d, clips of %d s at 30 frames per second (H.264 veryfast crf 20 + AAC)\n", threads, seconds);
    for (Clip c : clips) {
        std::string path = (dir / ("clip" + std::to_string(c.height) + "p.mp4")).string();
        if (!std::filesystem::exists(path) && !makeClip(path, c.width, c.height, seconds)) {
            std::fprintf(stderr, "cannot make %s with the ffmpeg command line\n", path.c_str());
            return 1;
        }
        if (c.height == 1080)
            clip1080 = path;
        // Warm the file cache and the decoder once, then measure each side.
        ffmpegDecode(path, threads);
        streamDecode(path, threads, c.width, c.height);
        Throughput reference = ffmpegDecode(path, threads);
        Throughput ours = streamDecode(path, threads, c.width, c.height);
        if (reference.seconds <= 0 || ours.frames == 0) {
            std::fprintf(stderr, "decoding %s failed\n", path.c_str());
            return 1;
        }
        double referenceFps = seconds * 30 / reference.seconds;
        double oursFps = ours.frames / ours.seconds;
        std::printf("%dp: ffmpeg -threads %d -f null %.2f s (%.0f fps, cpu %.2f s); MediaStream open+run+update+blitFrame "
                    "%.2f s, %d frames (%.0f fps, cpu %.2f s); ratio %.2f (cpu %.2f)\n",
            c.height, threads, reference.seconds, referenceFps, reference.cpu, ours.seconds, ours.frames, oursFps,
            ours.cpu, oursFps / referenceFps, reference.cpu / ours.cpu);
    }
    std::printf("real-time play of 1080p for %d s (separate process, sound on the %s device):\n", std::min(seconds, 10),
        std::getenv("SDL_AUDIODRIVER"));
    std::fflush(stdout);
    int rc = runProgram({"/proc/self/exe", "--play", clip1080, "--seconds", std::to_string(std::min(seconds, 10))});
    const std::string stepClip = (dir / "steps1080p.mp4").string();
    std::printf("frame steps on 1080p with a keyframe every 2 s (-g 60 at 30 fps), paused:\n");
    std::fflush(stdout);
    if (!std::filesystem::exists(stepClip) && !makeClip(stepClip, 1920, 1080, 10, 60)) {
        std::fprintf(stderr, "cannot make %s with the ffmpeg command line\n", stepClip.c_str());
        rc = 1;
    } else if (runProgram({"/proc/self/exe", "--steps", stepClip}) != 0) {
        rc = 1;
    }
    if (keep.empty())
        std::filesystem::remove_all(dir);
    return rc;
}

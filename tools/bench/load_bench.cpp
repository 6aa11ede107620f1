// Load benchmark: the two inputs whose loading once grew with the square of their size, read by the
// player's own readers.
//   - hostile.smi: a SAMI file of 200 000 SYNCs whose second half sits just below the last start of the
//     first half, so that every entry of the second half belongs near the end of the track;
//   - long.slm: a movie list of 100 000 items;
//   - cues.srt and cues.smi: the same 100 000 two-line captions as SubRip and as SAMI, to compare the
//     text caption reader with the SAMI reader.
// Both files are written into DIR (a new folder under /tmp when none is given) and kept, so that
// sublumen-captions and the player can load them too. Prints the wall-clock and CPU time of each load.
// With --log every line the readers write goes to DIR/DEBUG.LOG, one open and close per line, as in the
// player.
//
//   load_bench [DIR] [--log]
#include "app/debug_log.h"
#include "caption/caption.h"
#include "media/movie_list.h"
#include "tools/common/bench_timing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr int samiSyncs = 200000;
constexpr int listItems = 100000;

std::string writeHostileSami(const std::string& dir)
{
    std::string path = dir + "/hostile.smi";
    std::ofstream out(path, std::ios::binary);
    out << "<SAMI>\r\n<BODY>\r\n";
    const int half = samiSyncs / 2;
    const long lastStart = static_cast<long>(half) * 10;
    for (int i = 1; i <= half; ++i)
        out << "<SYNC Start=" << i * 10L << "><P Class=KRCC>early " << i << "\r\n";
    for (int i = 0; i < half; ++i)
        out << "<SYNC Start=" << lastStart - 1 - i % 9 << "><P Class=KRCC>late " << i << "\r\n";
    out << "</BODY>\r\n</SAMI>\r\n";
    return path;
}

std::string writeLongList(const std::string& dir)
{
    std::string path = dir + "/long.slm";
    std::ofstream out(path, std::ios::binary);
    for (int i = 1; i <= listItems; ++i)
        out << "@Episode " << i << "\r\nmovie=episode" << i << ".avi\r\ncaption=episode" << i << ".smi\r\ntimeshift=" << i % 500
            << "\r\n";
    return path;
}

constexpr int captionCues = 100000;

// h:mm:ss,mmm
std::string subRipTime(long ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld,%03ld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

// Cue i runs from 3 i s for 2 s, so that every cue gives a start and an end entry in both files.
std::string writeCues(const std::string& dir, bool sami)
{
    std::string path = dir + (sami ? "/cues.smi" : "/cues.srt");
    std::ofstream out(path, std::ios::binary);
    if (sami)
        out << "<SAMI>\r\n<BODY>\r\n";
    for (long i = 0; i < captionCues; ++i) {
        long start = i * 3000 + 500;
        std::string first = "Caption " + std::to_string(i + 1) + " of the evening";
        const char* second = "\xED\x95\x9C\xEA\xB8\x80 \xEC\x9E\x90\xEB\xA7\x89";
        if (sami)
            out << "<SYNC Start=" << start << "><P Class=KRCC>" << first << "<br>" << second << "\r\n<SYNC Start="
                << start + 2000 << "><P Class=KRCC>&nbsp;\r\n";
        else
            out << i + 1 << "\r\n" << subRipTime(start) << " --> " << subRipTime(start + 2000) << "\r\n" << first << "\r\n"
                << second << "\r\n\r\n";
    }
    if (sami)
        out << "</BODY>\r\n</SAMI>\r\n";
    return path;
}

std::string trackDetail(const sublumen::Caption& track)
{
    size_t count = 0;
    for (const sublumen::ListNode* node = track.entries; node; node = node->next)
        ++count;
    return std::to_string(count) + " entries, result " + std::to_string(track.loadResult);
}

// Runs load once and prints its wall-clock and CPU seconds under name.
template<typename F> void timeLoad(const char* name, F&& load)
{
    auto wallStart = std::chrono::steady_clock::now();
    double cpuStart = bench::threadMicroseconds();
    std::string detail = load();
    double cpu = (bench::threadMicroseconds() - cpuStart) / 1e6;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    std::printf("%s: %.3f s wall, %.3f s CPU (%s)\n", name, wall, cpu, detail.c_str());
}

}

int main(int argc, char** argv)
{
    std::string dir;
    bool withLog = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--log") == 0)
            withLog = true;
        else
            dir = argv[i];
    }
    if (dir.empty()) {
        char pattern[] = "/tmp/sublumen-load-XXXXXX";
        if (!mkdtemp(pattern)) {
            std::perror("mkdtemp");
            return 1;
        }
        dir = pattern;
    }
    std::string sami = writeHostileSami(dir);
    std::string list = writeLongList(dir);
    std::string subRip = writeCues(dir, false);
    std::string samiCues = writeCues(dir, true);
    std::string logPath = dir + "/DEBUG.LOG";
    if (withLog) {
        std::remove(logPath.c_str());
        sublumen::setLogFile(logPath.c_str());
    }
    std::printf("inputs in %s%s\n", dir.c_str(), withLog ? ", log in DEBUG.LOG" : "");

    timeLoad("hostile.smi, 200000 SYNCs", [&] {
        sublumen::Caption track(sami.c_str());
        size_t count = 0;
        for (const sublumen::ListNode* node = track.entries; node; node = node->next)
            ++count;
        return std::to_string(count) + " entries, result " + std::to_string(track.loadResult);
    });
    timeLoad("long.slm, 100000 items", [&] {
        sublumen::MovieList movies;
        int result = sublumen::loadListFile(movies, list.c_str());
        size_t count = 0;
        for (const sublumen::ListNode* node = movies.items; node; node = node->next)
            ++count;
        return std::to_string(count) + " items, result " + std::to_string(result);
    });
    timeLoad("cues.srt, 100000 cues", [&] {
        sublumen::Caption track(subRip.c_str());
        return trackDetail(track);
    });
    timeLoad("cues.smi, the same 100000 cues", [&] {
        sublumen::Caption track(samiCues.c_str());
        return trackDetail(track);
    });
    sublumen::setLogFile(nullptr);
    return 0;
}

// Movie memory benchmark: the periodic position save of a playing movie on the main thread, with the
// memory file at its largest (1000 movies). The file is read, changed and written again under its lock,
// once forced to disk (the save at a movie's end) and once not (the save every 10 s while playing).
// Prints the median and the slowest of each.
//
//   memory_bench [DIR]   (DIR: the state folder to use; a new folder under /tmp when none is given)
#include "media/movie_memory.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int movies = 1000;
constexpr int runs = 200;

void measure(const char* name, const std::string& file, sublumen::Durability durability)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        sublumen::MovieMemoryEntry entry;
        entry.path = "/movies/playing.mkv";
        entry.fields["position"] = std::to_string(60000 + i * 10000);
        auto start = std::chrono::steady_clock::now();
        sublumen::storeMovieMemory(file, { entry }, durability);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-10s median %.3f ms, slowest %.3f ms (%d saves)\n", name, ms[ms.size() / 2], ms.back(), runs);
}

}

int main(int argc, char** argv)
{
    std::string dir = argc > 1 ? argv[1] : "";
    if (dir.empty()) {
        char name[] = "/tmp/memory_bench-XXXXXX";
        if (!mkdtemp(name))
            return 1;
        dir = name;
    }
    std::string file = dir + "/movies";
    for (int i = 0; i < movies; ++i) {
        sublumen::MovieMemoryEntry entry;
        entry.path = "/home/someone/Videos/series/season " + std::to_string(i / 20) + "/episode " + std::to_string(i) + ".mkv";
        entry.shift = i % 7 == 0 ? -1500 : 0;
        entry.fields["position"] = std::to_string(1234567 + i);
        entry.fields["audio"] = "1";
        if (!sublumen::storeMovieMemory(file, { entry }, sublumen::Durability::Unsynced))
            return 1;
    }
    std::printf("%d movies in %s\n", movies, file.c_str());
    measure("unsynced", file, sublumen::Durability::Unsynced);
    measure("synced", file, sublumen::Durability::Synced);
    return 0;
}

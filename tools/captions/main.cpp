// sublumen-captions [--classes | --class NAME] FILE...: loads each caption file (SAMI, SUB, ASF script,
// SubRip, WebVTT, SSA/ASS) into a caption track exactly as the player does and prints its entries in the
// player's own log format, so a file can be
// checked without playing a movie. --class NAME prints what the player shows when that language class of
// a SAMI file is chosen ("*" for all of them stacked); --classes lists the classes with their names,
// languages and entry counts.
#include "caption/caption.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using sublumen::Caption;
using sublumen::CaptionEntry;

namespace {

void printEntry(uint32_t start, const char* text)
{
    std::printf("%02u:%02u.%02u[%10u]:%s\n", start / 60000u, (start / 1000u) % 60u, (start % 1000u) / 10u, start, text);
}

// What the chosen class shows, entry by entry: each time its shown text changes.
void printClass(Caption& track)
{
    std::vector<uint32_t> starts;
    for (const sublumen::CaptionClass& c : track.classes)
        for (const sublumen::ClassEntry& e : c.entries)
            starts.push_back(e.start);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    std::string last;
    bool first = true;
    for (uint32_t start : starts) {
        const std::string* shown = track.shownTextAt(start);
        if (!shown || (!first && *shown == last))
            continue;
        printEntry(start, shown->c_str());
        last = *shown;
        first = false;
    }
    printEntry(sublumen::endMarker, "");
}

}

int main(int argc, char** argv)
{
    enum class Mode { Track, Classes, Class } mode = Mode::Track;
    std::string className;
    int firstFile = 1;
    if (firstFile < argc && std::strcmp(argv[firstFile], "--classes") == 0) {
        mode = Mode::Classes;
        ++firstFile;
    } else if (firstFile + 1 < argc && std::strcmp(argv[firstFile], "--class") == 0) {
        mode = Mode::Class;
        className = argv[firstFile + 1];
        firstFile += 2;
    }
    if (firstFile >= argc) {
        std::fprintf(stderr, "usage: sublumen-captions [--classes | --class NAME] FILE...\n");
        return 2;
    }
    int status = 0;
    const int files = argc - firstFile;
    for (int i = firstFile; i < argc; ++i) {
        // Several files are told apart by a heading, as head(1) does; one file prints its entries alone.
        if (files > 1)
            std::printf("%s==> %s <==\n", i > firstFile ? "\n" : "", argv[i]);
        Caption track(argv[i]);
        if (mode == Mode::Classes) {
            for (const sublumen::CaptionClass& c : track.classes)
                std::printf("%s\t%s\t%s\t%d\n", c.name.c_str(), c.title.c_str(), c.lang.c_str(), c.ownEntries);
        } else if (mode == Mode::Class && !track.classes.empty()) {
            if (track.showClassNamed(className)) {
                printClass(track);
            } else {
                std::fprintf(stderr, "sublumen-captions: %s has no class %s\n", argv[i], className.c_str());
                status = 1;
            }
        } else {
            // Without classes the whole track is what is shown, whichever class was asked for.
            for (const sublumen::ListNode* node = track.entries; node; node = node->next) {
                const auto* entry = static_cast<const CaptionEntry*>(node->data);
                printEntry(entry->start, entry->text);
            }
        }
        if (track.loadResult < 0) {
            std::printf("Caption:: load Fail %d.\n", track.loadResult);
            status = 1;
        }
    }
    return std::fflush(stdout) == 0 ? status : 1;
}

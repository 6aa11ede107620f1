// sublumen-captions FILE...: loads each caption file into a caption track exactly as the player does and
// prints its entries in the player's own log format, so a file can be checked without playing a movie.
#include "caption/caption.h"

#include <cstdio>

using sublumen::Caption;
using sublumen::CaptionEntry;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: sublumen-captions FILE...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        // Several files are told apart by a heading, as head(1) does; one file prints its entries alone.
        if (argc > 2)
            std::printf("%s==> %s <==\n", i > 1 ? "\n" : "", argv[i]);
        Caption track(argv[i]);
        for (const sublumen::ListNode* node = track.entries; node; node = node->next) {
            const auto* entry = static_cast<const CaptionEntry*>(node->data);
            uint32_t start = entry->start;
            std::printf("%02u:%02u.%02u[%10u]:%s\n", start / 60000u, (start / 1000u) % 60u, (start % 1000u) / 10u,
                start, entry->text);
        }
        if (track.loadResult < 0) {
            std::printf("Caption:: load Fail %d.\n", track.loadResult);
            status = 1;
        }
    }
    return std::fflush(stdout) == 0 ? status : 1;
}

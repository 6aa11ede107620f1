// A caption file of any bytes through the Caption constructor, which picks the reader by the name's suffix
// (CAPTION_SUFFIX: ".smi", ".sub", ".asf", ".srt", ".vtt" or ".ass"), then lookups over the loaded track.
#include "fuzz_support.h"

#include "caption/caption.h"
#include "platform/com.h"
#include "platform/gdi/text_decoding.h"

#include <algorithm>
#include <cstring>
#include <vector>

using sublumen::Caption;
using sublumen::CaptionEntry;
using sublumen::ListNode;

namespace {

uint32_t startOf(const ListNode* node)
{
    return static_cast<const CaptionEntry*>(node->data)->start;
}

// The entry findAt must land on: the last whose start is not greater than time, none before the first.
const ListNode* expectedAt(const std::vector<const ListNode*>& nodes, uint32_t time)
{
    const ListNode* found = nullptr;
    for (const ListNode* node : nodes) {
        if (startOf(node) > time)
            break;
        found = node;
    }
    return found;
}

}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzing::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzing::scratchFile("input" CAPTION_SUFFIX);
    fuzzing::writeInput(path, data, size);
    {
        Caption track(path.c_str());

        // The track is a well-linked list in ascending order of start, every text terminated.
        std::vector<const ListNode*> nodes;
        const ListNode* previous = nullptr;
        for (const ListNode* node = track.entries; node; node = node->next) {
            FUZZ_CHECK(node->prev == previous);
            FUZZ_CHECK(!previous || startOf(previous) <= startOf(node));
            const auto* entry = static_cast<const CaptionEntry*>(node->data);
            FUZZ_CHECK(entry->text != nullptr);
            FUZZ_CHECK(std::strlen(entry->text) + 1 + sizeof(CaptionEntry) <= static_cast<size_t>(node->dataSize));
            nodes.push_back(node);
            previous = node;
        }
        if (track.loadResult < 0) {
            FUZZ_CHECK(nodes.empty());
        } else {
            FUZZ_CHECK(track.loadResult == 0);
            FUZZ_CHECK(!nodes.empty());
            const auto* last = static_cast<const CaptionEntry*>(nodes.back()->data);
            FUZZ_CHECK(last->start == sublumen::endMarker && last->text[0] == '\0');
        }

        // Lookups forward, then backward, at and just before a spread of entry starts; each lands where a
        // plain scan says, wherever the previous lookup left the track.
        size_t step = std::max<size_t>(1, nodes.size() / 32);
        std::vector<uint32_t> times { 0, sublumen::endMarker };
        for (size_t i = 0; i < nodes.size(); i += step) {
            times.push_back(startOf(nodes[i]) - 1);
            times.push_back(startOf(nodes[i]));
        }
        std::vector<uint32_t> backward(times.rbegin(), times.rend());
        times.insert(times.end(), backward.begin(), backward.end());
        for (uint32_t time : times) {
            track.findAt(time);
            FUZZ_CHECK(track.current == expectedAt(nodes, time));
        }

        // Every class choice (the whole track when there are no classes) shows valid UTF-8 at every time
        // and finds caption starts on both sides; the cycle comes back to where it began.
        FUZZ_CHECK(track.classes.empty() || track.classes.size() >= 2);
        const std::string first = track.shownClassName();
        for (size_t choice = 0; choice <= track.classes.size(); ++choice) {
            for (uint32_t time : times) {
                const std::string* shown = track.shownTextAt(time);
                FUZZ_CHECK(!shown || track.textEncoding == platform::TextEncoding::Guess
                    || platform::isValidUtf8(*shown));
                uint32_t start = 0;
                if (track.captionStart(time, sublumen::CaptionStep::Next, start))
                    FUZZ_CHECK(start > time);
                if (track.captionStart(time, sublumen::CaptionStep::Previous, start))
                    FUZZ_CHECK(start < time);
                if (track.captionStart(time, sublumen::CaptionStep::Current, start))
                    FUZZ_CHECK(start <= time);
            }
            track.nextClassChoice();
        }
        FUZZ_CHECK(track.classes.empty() || track.shownClassName() == first);
    }
    // Every Caption ends the COM use it began.
    FUZZ_CHECK(platform::comInitCount() == 0);
    return 0;
}

// The track of a movie's caption stream, filled while the movie plays.
#include "caption/caption.h"

#include "caption/text_cues.h"

#include <algorithm>
#include <utility>

namespace sublumen {

namespace {

uint32_t startOf(const ListNode* node) { return static_cast<const CaptionEntry*>(node->data)->start; }

bool sameCue(const TextCue& a, const TextCue& b) { return a.start == b.start && a.end == b.end && a.text == b.text; }

}

void Caption::beginCueTrack()
{
    cueTrack = true;
    textEncoding = platform::TextEncoding::Utf8;
    addEntry(endMarker, "");
}

namespace {

// Times stay before the end marker, so the marker always ends the track; cues without a duration go.
void keepBeforeEndMarker(std::vector<TextCue>& cues)
{
    for (TextCue& cue : cues) {
        cue.start = std::min(cue.start, endMarker - 1);
        cue.end = std::min(cue.end, endMarker - 1);
    }
    std::erase_if(cues, [](const TextCue& c) { return c.end <= c.start; });
    std::stable_sort(cues.begin(), cues.end(), [](const TextCue& a, const TextCue& b) { return a.start < b.start; });
}

bool byStart(const TextCue& a, const TextCue& b) { return a.start < b.start; }

}

void Caption::addCues(std::vector<TextCue> cues)
{
    if (!cueTrack)
        return;
    keepBeforeEndMarker(cues);
    bool added = false;
    uint32_t low = endMarker;
    uint32_t high = 0;
    for (TextCue& cue : cues) {
        // Packets read again after a seek back bring their cues again.
        auto [first, last] = std::equal_range(heldCues.begin(), heldCues.end(), cue, byStart);
        if (std::any_of(first, last, [&](const TextCue& held) { return sameCue(held, cue); }))
            continue;
        low = std::min(low, cue.start);
        high = std::max(high, cue.end);
        added = true;
        if (cue.replaceKey >= 0) {
            auto replaced = std::find_if(first, last, [&](const TextCue& held) { return held.replaceKey == cue.replaceKey; });
            if (replaced != last) {
                // In its place, so the order of captions shown together stays; what it showed is made
                // again too, up to its old end.
                high = std::max(high, replaced->end);
                *replaced = std::move(cue);
                continue;
            }
        }
        heldCues.insert(last, std::move(cue));
    }
    if (added)
        remakeEntries(low, high);
}

void Caption::replaceCues(uint32_t low, uint32_t high, std::vector<TextCue> cues)
{
    if (!cueTrack)
        return;
    keepBeforeEndMarker(cues);
    // What the replaced cues showed goes too, to their ends.
    uint32_t from = low;
    uint32_t to = high;
    std::erase_if(heldCues, [&](const TextCue& held) {
        if (held.start < low || held.start > high)
            return false;
        to = std::max(to, held.end);
        return true;
    });
    for (TextCue& cue : cues) {
        from = std::min(from, cue.start);
        to = std::max(to, cue.end);
        auto at = std::upper_bound(heldCues.begin(), heldCues.end(), cue, byStart);
        heldCues.insert(at, std::move(cue));
    }
    remakeEntries(from, std::min(to, endMarker - 1));
}

void Caption::remakeEntries(uint32_t low, uint32_t high)
{
    // What is shown changes only from low to high. The entries there are made again from every cue that
    // runs at some moment of that span, those touching its edges included, so each is what all cues at
    // once would give. Back-to-back cues (one starting where the previous ends, as most caption streams
    // are timed) never pull the rest of the track in.
    std::vector<TextCue> span;
    for (const TextCue& cue : heldCues) {
        if (cue.start > high)
            break;
        if (cue.end >= low)
            span.push_back(cue);
    }

    // New cues arrive near the end of the track while the movie plays, so the span is found from there.
    ListNode* after = lastNode;
    while (after && after->prev && startOf(after->prev) > high)
        after = after->prev;
    ListNode* node = after ? after->prev : nullptr;
    while (node && startOf(node) >= low) {
        ListNode* previous = node->prev;
        listUnlink(&entries, node);
        nodeFree(node);
        node = previous;
    }
    // The lookup goes on from before the span.
    current = node;
    shownFrom.clear();
    revision = nextCaptionRevision();

    for (const ClassEntry& entry : entriesOfCues(std::move(span))) {
        if (entry.start < low || entry.start > high)
            continue;
        ListNode* made = newEntry(entry.start, entry.text.c_str());
        if (made)
            listInsertBefore(&entries, after, made);
    }
}

}

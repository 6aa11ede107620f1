// The transcript group of the system record: the panel that lists the first caption's lines, searched
// as the user types (media/transcript_panel.cpp), and the study cards on their way
// (media/study_cards.cpp). Not saved.
#pragma once

#include "caption/caption_sync.h"
#include "caption/transcript_search.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace platform {
class CardWriter;
}

namespace sublumen {

class Caption;

// One caption of the first caption track as the panel lists it.
struct TranscriptRow {
    // Caption times of the first track: when it appears and when it is cleared or replaced (endMarker
    // when nothing follows).
    uint32_t start = 0;
    uint32_t end = 0;
    // UTF-8, whole; the second caption's line shown at the same time, empty for none.
    std::string text;
    std::string second;
};

// What the rows were made from: another track, a change to one, another class or other shifts
// (which pair the second caption's lines differently) make them again.
struct TranscriptSource {
    const Caption* first = nullptr;
    uint64_t firstRevision = 0;
    int firstClass = 0;
    const Caption* second = nullptr;
    uint64_t secondRevision = 0;
    int secondClass = 0;
    int32_t shift = 0;
    double rate = 1.0;
    SyncPieces pieces;
    int32_t secondShift = 0;

    bool operator==(const TranscriptSource&) const = default;
};

struct TranscriptState {
    bool open = false;
    std::vector<TranscriptRow> rows;
    TranscriptSource source;
    TranscriptSearch search;
    // The query: what was typed (UTF-8), the bytes of a character still arriving, and what the input
    // method is composing, which counts as typed while it lasts.
    std::string typed;
    std::string partial;
    std::string composing;
    // Whether the query holds more than blanks, and then the rows that match it, ascending.
    bool searching = false;
    std::vector<uint32_t> matches;
    // The chosen line among those listed (the matches while searching, else every row), whether it
    // follows the caption shown as the movie plays, the first one in view and how many the panel
    // showed last (a page for PgUp and PgDn).
    size_t cursor = 0;
    bool following = true;
    size_t top = 0;
    size_t pageRows = 10;
    // Something the panel shows changed since it was last drawn: a paused movie composes a frame.
    bool frameWanted = false;
};

// The study cards (Ctrl+S, media/study_cards.cpp): the writer, made at the first card, and the cards of
// this run by movie and stretch, so that one stretch is kept once however often the key is pressed.
struct CardState {
    std::shared_ptr<platform::CardWriter> writer;
    std::set<std::string> kept;
    // The cards on their way, by the writer's job number: a card that fails may be tried again.
    std::map<uint64_t, std::string> pending;
    uint64_t nextJob = 1;
};

}

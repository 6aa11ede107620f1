#include "media/transcript_panel.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "caption/transcript.h"
#include "media/caption_choice.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "platform/window/text_input.h"

#include <algorithm>
#include <chrono>

namespace sublumen {

namespace {

// A line without a caption after it is paired with the second caption's lines over this much at most.
constexpr int64_t longestPairedSpan = 10000;

TranscriptSource sourceNow(const System& sys)
{
    TranscriptSource source;
    const MovieState& m = sys.movie;
    if (const Caption* first = m.currentCaption.get()) {
        source.first = first;
        source.firstRevision = first->revision;
        source.firstClass = first->shownClass;
    }
    if (const Caption* second = m.secondCaption.get()) {
        source.second = second;
        source.secondRevision = second->revision;
        source.secondClass = second->shownClass;
        source.secondShift = m.secondShift;
    }
    source.shift = m.currentItem.timeshift;
    source.rate = m.captionRate;
    source.pieces = m.syncPieces;
    return source;
}

// A line's stretch of stream time, for pairing the two tracks' lines.
struct Span {
    int64_t start;
    int64_t end;
};

Span streamSpan(uint32_t start, uint32_t end, int32_t shift, double rate, const SyncPieces& pieces = noSyncPieces)
{
    const int64_t from = streamTimeOfCaption(start, shift, rate, pieces);
    const int64_t to = end == endMarker ? from + longestPairedSpan : streamTimeOfCaption(end, shift, rate, pieces);
    return { from, std::min(to, from + longestPairedSpan) };
}

// Under each line the second caption's line that is shown longest while it is.
void pairSecondLines(std::vector<TranscriptRow>& rows, const Caption& second, const TranscriptSource& source)
{
    const std::vector<TranscriptLine> lines = transcriptLines(second);
    std::vector<Span> spans;
    spans.reserve(lines.size());
    for (const TranscriptLine& line : lines)
        spans.push_back(streamSpan(line.start, line.end, source.secondShift, 1.0));
    size_t from = 0;
    for (TranscriptRow& row : rows) {
        const Span own = streamSpan(row.start, row.end, source.shift, source.rate, source.pieces);
        while (from < spans.size() && spans[from].end <= own.start)
            ++from;
        int64_t longest = 0;
        for (size_t k = from; k < spans.size() && spans[k].start < own.end; ++k) {
            const int64_t overlap = std::min(own.end, spans[k].end) - std::max(own.start, spans[k].start);
            if (overlap > longest) {
                longest = overlap;
                row.second = lines[k].text;
            }
        }
    }
}

void runSearch(TranscriptState& t)
{
    const std::string query = t.typed + t.composing;
    t.searching = !searchFolded(query).empty();
    t.matches = t.searching ? t.search.find(query) : std::vector<uint32_t> {};
}

uint32_t captionTimeNow(const System& sys)
{
    const MovieState& m = sys.movie;
    return captionTime(m.currentStream->currentTime(), m.currentItem.timeshift, m.captionRate, m.syncPieces);
}

// The place among the listed lines of the first one at or after row (the last one when none is).
size_t listedPlaceOf(const System& sys, int64_t row)
{
    const TranscriptState& t = sys.transcript;
    const size_t count = listedTranscriptRows(sys);
    if (count == 0 || row < 0)
        return 0;
    if (!t.searching)
        return std::min<size_t>(static_cast<size_t>(row), count - 1);
    auto at = std::lower_bound(t.matches.begin(), t.matches.end(), static_cast<uint32_t>(row));
    return at == t.matches.end() ? count - 1 : static_cast<size_t>(at - t.matches.begin());
}

int64_t rowNow(const System& sys)
{
    return sys.movie.currentStream ? transcriptRowAt(sys, captionTimeNow(sys)) : -1;
}

// The query changed: the matches again, and the chosen line on the first match from the caption shown
// on; an emptied query follows the movie again.
void queryChanged(System& sys)
{
    TranscriptState& t = sys.transcript;
    t.frameWanted = true;
    runSearch(t);
    t.following = !t.searching;
    t.cursor = listedPlaceOf(sys, rowNow(sys));
    debugLog("Transcript: query \"%s\", %zu of %zu lines\n", transcriptQuery(sys).c_str(),
        listedTranscriptRows(sys), t.rows.size());
}

void buildRows(System& sys)
{
    TranscriptState& t = sys.transcript;
    const auto began = std::chrono::steady_clock::now();
    // The chosen line is kept across a rebuild by its start.
    const TranscriptRow* chosen = chosenTranscriptRow(sys);
    const int64_t chosenStart = chosen ? chosen->start : -1;

    t.source = sourceNow(sys);
    t.rows.clear();
    t.search.clear();
    if (const Caption* first = t.source.first) {
        for (TranscriptLine& line : transcriptLines(*first))
            t.rows.push_back({ line.start, line.end, std::move(line.text), {} });
    }
    if (const Caption* second = t.source.second; second && !t.rows.empty())
        pairSecondLines(t.rows, *second, t.source);
    for (const TranscriptRow& row : t.rows)
        t.search.add(row.text);
    runSearch(t);

    if (!t.following && chosenStart >= 0) {
        auto at = std::lower_bound(t.rows.begin(), t.rows.end(), chosenStart,
            [](const TranscriptRow& r, int64_t start) { return r.start < start; });
        t.cursor = listedPlaceOf(sys, at - t.rows.begin());
    } else {
        t.cursor = listedPlaceOf(sys, rowNow(sys));
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
    debugLog("Transcript: %zu lines in %.1f ms\n", t.rows.size(), ms);
}

}

void toggleTranscript(System& sys)
{
    TranscriptState& t = sys.transcript;
    if (t.open) {
        closeTranscript(sys);
        return;
    }
    t.open = true;
    t.frameWanted = true;
    t.typed.clear();
    t.partial.clear();
    t.composing.clear();
    t.following = true;
    t.top = 0;
    buildRows(sys);
    platform::beginTextInput();
}

void closeTranscript(System& sys)
{
    TranscriptState& t = sys.transcript;
    if (!t.open)
        return;
    t.open = false;
    t.frameWanted = true;
    t.rows.clear();
    t.rows.shrink_to_fit();
    t.matches.clear();
    t.search.clear();
    t.source = {};
    platform::endTextInput();
}

void moveTranscriptCursor(System& sys, CommandArgument argument)
{
    TranscriptState& t = sys.transcript;
    const size_t count = listedTranscriptRows(sys);
    if (!t.open || count == 0)
        return;
    const size_t page = std::max<size_t>(t.pageRows, 1);
    size_t& c = t.cursor;
    switch (argument.value) {
    case transcriptUp:
        c = c > 0 ? c - 1 : 0;
        break;
    case transcriptDown:
        c = std::min(c + 1, count - 1);
        break;
    case transcriptPageUp:
        c = c > page ? c - page : 0;
        break;
    case transcriptPageDown:
        c = std::min(c + page, count - 1);
        break;
    case transcriptFirst:
        c = 0;
        break;
    default:
        c = count - 1;
        break;
    }
    t.following = false;
    t.frameWanted = true;
}

void seekToTranscriptLine(System& sys)
{
    TranscriptState& t = sys.transcript;
    const TranscriptRow* row = chosenTranscriptRow(sys);
    if (!row || !sys.movie.currentStream)
        return;
    const MovieState& m = sys.movie;
    int64_t target = streamTimeOfCaption(row->start, m.currentItem.timeshift, m.captionRate, m.syncPieces);
    target = std::clamp<int64_t>(target, 0, m.movieDuration);
    debugLog("Transcript: to the line at %u (movie time %lld)\n", row->start, static_cast<long long>(target));
    seekMovie(sys, static_cast<uint32_t>(target));
    t.following = !t.searching;
}

void typeIntoTranscript(System& sys, unsigned char byte)
{
    TranscriptState& t = sys.transcript;
    if (!t.open || byte < 0x20 || byte == 0x7F)
        return;
    // A character's bytes come one message each; it joins the query once it is whole.
    if (byte < 0x80 || (byte & 0xC0) != 0x80)
        t.partial.clear();
    t.partial.push_back(static_cast<char>(byte));
    const unsigned char lead = static_cast<unsigned char>(t.partial[0]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0) {
        t.partial.clear();
        return;
    }
    if (t.partial.size() < length)
        return;
    // Very long queries find nothing more than shorter ones do; the field stops taking text.
    if (t.typed.size() < maximumTranscriptQuery)
        t.typed += t.partial;
    t.partial.clear();
    t.composing = platform::compositionText();
    queryChanged(sys);
}

void composeInTranscript(System& sys)
{
    TranscriptState& t = sys.transcript;
    if (!t.open)
        return;
    std::string composing = platform::compositionText();
    if (composing == t.composing)
        return;
    t.composing = std::move(composing);
    queryChanged(sys);
}

void eraseFromTranscript(System& sys)
{
    TranscriptState& t = sys.transcript;
    if (!t.open)
        return;
    t.partial.clear();
    if (t.typed.empty())
        return;
    size_t cut = t.typed.size() - 1;
    while (cut > 0 && (static_cast<unsigned char>(t.typed[cut]) & 0xC0) == 0x80)
        --cut;
    t.typed.erase(cut);
    queryChanged(sys);
}

void followTranscript(System& sys)
{
    TranscriptState& t = sys.transcript;
    if (!t.open)
        return;
    if (!(sourceNow(sys) == t.source)) {
        buildRows(sys);
        t.frameWanted = true;
    }
    if (t.following && !t.searching) {
        const int64_t row = rowNow(sys);
        if (row >= 0)
            t.cursor = listedPlaceOf(sys, row);
    }
}

size_t listedTranscriptRows(const System& sys)
{
    const TranscriptState& t = sys.transcript;
    return t.searching ? t.matches.size() : t.rows.size();
}

uint32_t listedTranscriptRow(const System& sys, size_t i)
{
    const TranscriptState& t = sys.transcript;
    return t.searching ? t.matches[i] : static_cast<uint32_t>(i);
}

const TranscriptRow* chosenTranscriptRow(const System& sys)
{
    const TranscriptState& t = sys.transcript;
    if (!t.open || t.cursor >= listedTranscriptRows(sys))
        return nullptr;
    return &t.rows[listedTranscriptRow(sys, t.cursor)];
}

int64_t transcriptRowAt(const System& sys, uint32_t time)
{
    const std::vector<TranscriptRow>& rows = sys.transcript.rows;
    auto after = std::upper_bound(rows.begin(), rows.end(), time,
        [](uint32_t t, const TranscriptRow& r) { return t < r.start; });
    return static_cast<int64_t>(after - rows.begin()) - 1;
}

std::string transcriptQuery(const System& sys)
{
    return sys.transcript.typed + sys.transcript.composing;
}

}

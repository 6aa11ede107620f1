#include "display/transcript_text.h"

#include "app/system.h"
#include "caption/caption_sync.h"
#include "media/media_stream.h"
#include "media/transcript_panel.h"

#include <algorithm>
#include <cstdio>

namespace sublumen {

namespace {

// No panel is wider than this many characters of the overlay's font.
constexpr size_t rowCharacters = 200;

std::string timeText(const System& sys, uint32_t captionStart)
{
    const MovieState& m = sys.movie;
    const int64_t t = std::max<int64_t>(
        streamTimeOfCaption(captionStart, m.currentItem.timeshift, m.captionRate, m.syncPieces), 0);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(t / 60000), static_cast<long long>(t / 1000 % 60));
    return text;
}

std::string header(const System& sys)
{
    const TranscriptState& t = sys.transcript;
    const std::string query = transcriptQuery(sys);
    if (t.rows.empty())
        return query.empty() ? "자막 없음" : "찾기: " + query + "_  자막 없음";
    if (query.empty())
        return "자막 목록: " + std::to_string(t.rows.size()) + "줄  (입력하면 찾기)";
    return "찾기: " + query + "_  " + std::to_string(t.matches.size()) + "/" + std::to_string(t.rows.size());
}

}

std::string transcriptRowText(const std::string& text, size_t limit)
{
    std::string shown;
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80 && ++characters > limit) {
            shown += "…";
            break;
        }
        if (c == '\r')
            continue;
        if (c == '\n') {
            if (!shown.empty() && shown.back() != ' ')
                shown += ' ';
            continue;
        }
        shown += static_cast<char>(c);
    }
    return shown;
}

TranscriptView transcriptView(System& sys, const FrameLayout& layout, std::optional<uint32_t> shownAt)
{
    TranscriptState& t = sys.transcript;
    TranscriptView view;
    view.colour = static_cast<COLORREF>(sys.settings.helpcolor) & 0xFFFFFFu;
    view.secondLines = sys.movie.secondCaption != nullptr;
    view.header = header(sys);

    const size_t count = listedTranscriptRows(sys);
    const size_t fitting = transcriptRowsFitting(layout, view.secondLines);
    t.pageRows = std::max<size_t>(fitting, 1);
    if (count == 0 || fitting == 0)
        return view;
    size_t& top = t.top;
    if (t.following)
        top = t.cursor > fitting / 3 ? t.cursor - fitting / 3 : 0;
    else if (t.cursor < top)
        top = t.cursor;
    else if (t.cursor >= top + fitting)
        top = t.cursor - fitting + 1;
    top = std::min(top, count > fitting ? count - fitting : 0);

    uint32_t now = shownAt.value_or(0);
    if (MediaStream* stream = sys.movie.currentStream.get(); stream && !shownAt)
        now = captionTime(stream->currentTime(), sys.movie.currentItem.timeshift, sys.movie.captionRate,
            sys.movie.syncPieces);
    for (size_t i = top; i < count && i < top + fitting; ++i) {
        const TranscriptRow& row = t.rows[listedTranscriptRow(sys, i)];
        TranscriptView::Row shown;
        shown.time = timeText(sys, row.start);
        shown.text = transcriptRowText(row.text, rowCharacters);
        shown.second = transcriptRowText(row.second, rowCharacters);
        shown.chosen = i == t.cursor;
        shown.current = sys.movie.currentStream && row.start <= now && now < row.end;
        view.rows.push_back(std::move(shown));
    }
    return view;
}

void drawTranscriptPanel(System& sys, HDC dc, platform::PixelView pixels, const FrameLayout& layout,
    std::optional<uint32_t> shownAt)
{
    if (!sys.transcript.open || !dc)
        return;
    drawTranscript(dc, pixels, layout, transcriptView(sys, layout, shownAt));
}

}

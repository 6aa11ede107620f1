#include "media/study_cards.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "caption/transcript.h"
#include "display/screenshot.h"
#include "media/caption_choice.h"
#include "media/media_stream.h"
#include "display/notice.h"
#include "media/transcript_panel.h"
#include "platform/card_files.h"
#include "platform/ddraw/ddraw.h"
#include "platform/gdi/text_decoding.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sublumen {

namespace {

// How long what the key did stays on the status bar, in calendar seconds.
constexpr uint32_t noticeSeconds = 3;

}

namespace {

std::string joinedLines(const std::vector<TranscriptLine>& lines)
{
    std::string text;
    for (const TranscriptLine& line : lines)
        text += (text.empty() ? "" : "\n") + line.text;
    return text;
}

// The second caption's text over the movie time from start to end: the line shown longest for a
// caption, every line for a loop.
std::string secondText(System& sys, uint32_t start, uint32_t end, bool every)
{
    const Caption* second = sys.movie.secondCaption.get();
    if (!second)
        return "";
    const uint32_t from = secondCaptionTime(sys, start);
    const uint32_t to = secondCaptionTime(sys, end);
    const std::vector<TranscriptLine> lines = transcriptLines(*second, from, std::max(to, from + 1));
    if (every)
        return joinedLines(lines);
    const TranscriptLine* longest = nullptr;
    int64_t most = 0;
    for (const TranscriptLine& line : lines) {
        const int64_t overlap = static_cast<int64_t>(std::min(line.end, to)) - std::max(line.start, from);
        if (overlap > most) {
            most = overlap;
            longest = &line;
        }
    }
    return longest ? longest->text : "";
}

// The movie's file name without its folder, as UTF-8.
std::string movieName(const char* path)
{
    std::string_view name(path ? path : "");
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    if (platform::isValidUtf8(name))
        return std::string(name);
    return platform::encodeUtf8(platform::decodeForDisplay(name));
}

// The picture shown now when it lies in the card's stretch: the movie's own frame, without captions.
std::shared_ptr<const platform::Surface> shownPicture(System& sys, const CardContent& card)
{
    MediaStream* stream = sys.movie.currentStream.get();
    const uint32_t now = stream->currentTime();
    if (now < card.start || now > card.end || !stream->surface)
        return nullptr;
    const platform::PixelView* frame = stream->surface->pixels();
    if (!frame || frame->width <= 0 || frame->height <= 0)
        return nullptr;
    return std::make_shared<const platform::Surface>(platform::ConstPixelView(*frame));
}

std::string cardKey(const System& sys, const CardContent& card)
{
    return std::string(sys.movie.currentItem.movie) + '\t' + std::to_string(card.start) + '\t' + std::to_string(card.end);
}

}

std::string cardTime(uint32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", ms / 3600000u, ms / 60000u % 60u, ms / 1000u % 60u, ms % 1000u);
    return text;
}

bool cardContent(System& sys, CardContent& card, std::string& refusal)
{
    MovieState& m = sys.movie;
    if (!m.currentStream || m.movieDuration == 0)
        return false;
    const StudyState& st = sys.study;
    const uint32_t duration = m.movieDuration;
    if (st.loopPhase == LoopPhase::Looping && st.moviePath == m.currentItem.movie) {
        if (st.loopB - st.loopA > longestCardLoop) {
            refusal = "카드 저장 실패: 구간이 10분보다 김";
            return false;
        }
        card.start = st.loopA;
        card.end = st.loopB;
        if (m.currentCaption) {
            const uint32_t from = captionTime(card.start, m.currentItem.timeshift, m.captionRate, m.syncPieces);
            const uint32_t to = captionTime(card.end, m.currentItem.timeshift, m.captionRate, m.syncPieces);
            card.text = joinedLines(transcriptLines(*m.currentCaption, from, std::max(to, from + 1)));
        }
        card.second = secondText(sys, card.start, card.end, true);
        return true;
    }

    uint32_t start = 0;
    uint32_t end = 0;
    if (const TranscriptRow* row = chosenTranscriptRow(sys)) {
        start = row->start;
        end = row->end;
        card.text = row->text;
    } else if (m.currentCaption) {
        const uint32_t now
            = captionTime(m.currentStream->currentTime(), m.currentItem.timeshift, m.captionRate, m.syncPieces);
        const std::vector<TranscriptLine> shown = transcriptLines(*m.currentCaption, now, now + 1);
        if (shown.empty())
            return false;
        start = shown.back().start;
        end = shown.back().end;
        card.text = shown.back().text;
    } else {
        return false;
    }
    const int64_t from = std::clamp<int64_t>(
        streamTimeOfCaption(start, m.currentItem.timeshift, m.captionRate, m.syncPieces), 0, duration);
    int64_t to = end == endMarker ? from + longestCardCaption
                                  : streamTimeOfCaption(end, m.currentItem.timeshift, m.captionRate, m.syncPieces);
    to = std::clamp<int64_t>(std::min<int64_t>(to, from + longestCardCaption), from, duration);
    card.start = static_cast<uint32_t>(from);
    card.end = static_cast<uint32_t>(to);
    card.second = secondText(sys, card.start, card.end, false);
    return card.end > card.start;
}

void saveStudyCard(System& sys)
{
    CardContent card;
    std::string refusal;
    if (!cardContent(sys, card, refusal)) {
        debugLog("Card: nothing to keep\n");
        showNotice(sys, refusal.empty() ? "저장할 자막 없음" : refusal, noticeSeconds);
        return;
    }
    CardState& cards = sys.cards;
    const std::string key = cardKey(sys, card);
    if (cards.kept.count(key)) {
        debugLog("Card: %s to %s is kept already\n", cardTime(card.start).c_str(), cardTime(card.end).c_str());
        showNotice(sys, "이미 저장한 카드", noticeSeconds);
        return;
    }
    const std::string folder = platform::dataFolder();
    if (!platform::makeFolders(folder) || !platform::folderWritable(folder.c_str())) {
        debugLog("Card: the folder %s cannot be written\n", folder.c_str());
        showNotice(sys, "카드 저장 실패: 쓸 수 없는 폴더 " + shownPath(folder), noticeSeconds);
        return;
    }

    platform::CardJob job;
    job.id = cards.nextJob++;
    job.folder = folder;
    job.moviePath = sys.movie.currentItem.movie;
    int32_t heard = -1;
    sys.movie.currentStream->audioTracks(&heard);
    job.audioStream = heard;
    job.start = card.start;
    job.end = card.end;
    job.picture = shownPicture(sys, card);
    job.pictureTime = card.start + (card.end - card.start) / 2;
    job.name = screenshotName(sys.movie.currentItem.movie, card.start);
    job.fields = { movieName(sys.movie.currentItem.movie), cardTime(card.start), cardTime(card.end), card.text,
        card.second };

    if (!cards.writer)
        cards.writer = std::make_shared<platform::CardWriter>(sys.window.mainWindow, WM_CARDSAVED);
    if (!cards.writer->submit(std::move(job))) {
        debugLog("Card: the writer is busy\n");
        showNotice(sys, "카드 저장 중: 잠시 뒤에 다시", noticeSeconds);
        return;
    }
    cards.kept.insert(key);
    cards.pending[cards.nextJob - 1] = key;
    debugLog("Card: %s to %s queued\n", cardTime(card.start).c_str(), cardTime(card.end).c_str());
}

void noteSavedCards(System& sys)
{
    CardState& cards = sys.cards;
    if (!cards.writer)
        return;
    for (const platform::CardResult& result : cards.writer->takeResults()) {
        auto pending = cards.pending.find(result.id);
        if (result.error == platform::CardError::None) {
            debugLog("Card saved: %s line %zu%s\n", result.path.c_str(), result.number, result.silent ? " (no sound)" : "");
            showNotice(sys, "카드 저장: " + std::to_string(result.number) + "번째" + (result.silent ? " (소리 없음)" : ""), noticeSeconds);
        } else {
            debugLog("Card failed: %s : %s\n", result.path.c_str(), result.reason.c_str());
            // The same stretch may be tried again.
            if (pending != cards.pending.end())
                cards.kept.erase(pending->second);
            switch (result.error) {
            case platform::CardError::NoSpace:
                showNotice(sys, "카드 저장 실패: 공간이 모자람", noticeSeconds);
                break;
            case platform::CardError::NotPermitted:
                showNotice(sys, "카드 저장 실패: 쓸 수 없음 " + shownPath(result.path), noticeSeconds);
                break;
            case platform::CardError::Sound:
                showNotice(sys, "카드 저장 실패: 소리를 만들 수 없음", noticeSeconds);
                break;
            case platform::CardError::Picture:
                showNotice(sys, "카드 저장 실패: 그림을 만들 수 없음", noticeSeconds);
                break;
            default:
                showNotice(sys, "카드 저장 실패: 쓰기 오류 " + shownPath(result.path), noticeSeconds);
                break;
            }
        }
        if (pending != cards.pending.end())
            cards.pending.erase(pending);
    }
}

}

#include "media/caption_copy.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "caption/transcript.h"
#include "media/media_stream.h"
#include "display/notice.h"
#include "media/transcript_panel.h"
#include "media/transcript_state.h"
#include "platform/window/text_input.h"

namespace sublumen {

namespace {

// How long what the key did stays on the status bar, in calendar seconds.
constexpr uint32_t noticeSeconds = 3;

}

std::string captionToCopy(System& sys)
{
    if (const TranscriptRow* row = chosenTranscriptRow(sys))
        return row->text;
    MovieState& m = sys.movie;
    if (!m.currentCaption || !m.currentStream)
        return "";
    const uint32_t now
        = captionTime(m.currentStream->currentTime(), m.currentItem.timeshift, m.captionRate, m.syncPieces);
    const std::vector<TranscriptLine> shown = transcriptLines(*m.currentCaption, now, now + 1);
    return shown.empty() ? "" : shown.back().text;
}

void copyCaption(System& sys)
{
    const std::string text = captionToCopy(sys);
    if (text.empty()) {
        debugLog("Copy: no caption shown\n");
        showNotice(sys, "복사할 자막 없음", noticeSeconds);
        return;
    }
    const platform::ClipboardCopy copy = platform::copyToClipboard(text);
    if (!copy.clipboard) {
        debugLog("Copy: the clipboard refused the text: %s\n", copy.reason.c_str());
        showNotice(sys, "복사 실패: 클립보드를 쓸 수 없음", noticeSeconds);
        return;
    }
    debugLog("Copy: %zu bytes%s\n", text.size(), copy.primary ? "" : " (not to the primary selection)");
    showNotice(sys, "복사함", noticeSeconds);
}

}

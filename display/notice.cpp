#include "display/notice.h"

#include "app/system.h"
#include "display/frame_composition.h"
#include "display/presented_layer.h"
#include "media/media_stream.h"
#include "platform/kernel.h"
#include "platform/sound_device.h"

#include <utility>

namespace sublumen {

void showNotice(System& sys, std::string text, uint32_t seconds)
{
    sys.notice.text = std::move(text);
    sys.notice.since = calendarSeconds();
    sys.notice.seconds = seconds;
}

std::string noticeText(const System& sys)
{
    const NoticeState& n = sys.notice;
    if (n.text.empty() || calendarSeconds() - n.since > n.seconds)
        return "";
    return n.text;
}

StatusNotice noticeOnStatusLine(System& sys)
{
    StatusNotice notice;
    notice.text = noticeText(sys);
    sys.notice.drawn = notice.text;
    if (notice.text.empty())
        return notice;
    // Before the volume scale while the bar is drawn.
    notice.barShown = sys.settings.seekbar != 0 && movieShown(sys);
    notice.before
        = notice.barShown ? statusLineText(sys, sys.movie.currentStream->currentTime()) : statusNoticeText(sys);
    return notice;
}

void drawNotice(System& sys)
{
    DisplaySurface* back = sys.displays.backSurface();
    if (!back || frameContent(sys) == FrameContent::Nothing) {
        sys.notice.drawn.clear();
        return;
    }
    const StatusNotice notice = noticeOnStatusLine(sys);
    if (notice.text.empty())
        return;
    HDC dc = back->getDC();
    drawStatusNotice(dc, composedLayout(sys), notice);
    back->releaseDC(dc);
}

bool noticeFrameWanted(const System& sys)
{
    return frameContent(sys) != FrameContent::Nothing && noticeText(sys) != sys.notice.drawn;
}

void noteSoundDevice(System& sys)
{
    const platform::SoundDeviceNotice device = platform::soundDeviceNotice();
    if (device.change != platform::SoundDeviceChange::Back || device.since == sys.notice.soundBackSince
        || calendarSeconds() - device.since > 3)
        return;
    sys.notice.soundBackSince = device.since;
    showNotice(sys, "소리 장치 다시 연결", 3);
}

}

#include "display/notice.h"

#include "app/system.h"
#include "display/frame_composition.h"
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

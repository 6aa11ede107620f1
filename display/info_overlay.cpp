#include "display/info_overlay.h"

#include "display/frame_drawing.h"
#include "platform/codepage.h"
#include "platform/gdi/gdi.h"

#include <cstring>

namespace sublumen {

const char* const helpLineTable[17] = {
    "ESC:종료 @Enter:전체/창, Space:일시정지",
    "(F1)도움말 (H)정보 글자색 (~)16/32bits 색상",
    "검색: LeftClick/Home/End/좌/우/PgUp/PgDn",
    "(S)그림자 (O)외곽선 (R)반전 (G)글꼴 (L)이미지향상",
    "(C)자막 (A)고정/자동/반자동, (상하)이동 (P)Flip",
    "자막시간조절:(J)-1, (K)+1, (U)-10, (I)+10",
    "(D/F)자막 글크기, (B)상태 표시, (+/-)볼륨 조절",
    "해상도:(1~8) 320x240~2048x1536 (9)바탕화면, (,/.)앞/뒤 동영상",
    "(M)LetterBox/LetterBox2/PanScan/Full",
    "(Q)Quick Skip (E)Ending (T)AlwaysTop",
    "(N)자막 언어: 하나씩/모두 (W)음성 (V)ASS 원본/자체 스타일",
    "Ctrl+좌/우:앞/뒤 자막으로, Ctrl+상:자막 다시",
    "(Ctrl+K/J)다음/방금 자막을 지금에 맞춤 (Ctrl+0)맞춤 취소",
    "(Ctrl+,/.)일시정지 중 앞/뒤 프레임 (Y)자막 고르기 (Shift+Y)둘째 자막",
    "(F12)화면 저장 (Shift+F12)영상만 저장 (Shift+J/K)둘째 자막 -1/+1",
    "(Z)자막마다 멈춤 (F2)구간 반복: A/B/해제",
    "([/])재생 속도 (Backspace)보통",
};

void fitLine(char* text, size_t size)
{
    if (size == 0)
        return;
    size_t length = std::strlen(text);
    if (length < size)
        return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t cut = size - 1;
    if (platform::isValidUtf8(text, length)) {
        while (cut > 0 && (bytes[cut] & 0xC0) == 0x80)
            --cut;
    } else {
        // CP949: walk from the start so that a trail byte is never taken for a lead byte.
        size_t i = 0;
        while (i < cut) {
            size_t width = bytes[i] >= 0x81 && bytes[i] <= 0xFE && i + 1 < length ? 2 : 1;
            if (i + width > cut)
                break;
            i += width;
        }
        cut = i;
    }
    text[cut] = '\0';
}

void drawInfoOverlay(HDC dc, const FrameLayout& layout, const OverlayText& text, int pass)
{
    // The rows of the information lines, and where the key summary starts below them, in screen pixels.
    constexpr int32_t lineHeight = 13;
    constexpr int32_t helpTop = 110;
    HFONT previous = SelectObject(dc, layout.fonts.overlay);
    const COLORREF colour = pass ? (~text.colour & 0xFFFFFFu) : text.colour;
    const int o = pass ? layout.px(1) : 0;
    SetTextColor(dc, colour);
    SetBkColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);

    int32_t row = 0;
    for (const std::string& line : text.lines)
        drawText(dc, o, o + layout.px(lineHeight * row++), line.c_str());
    row = 0;
    for (const char* line : helpLineTable)
        drawText(dc, o, o + layout.px(helpTop + lineHeight * row++), line);

    SelectObject(dc, previous);
}

}

// The display groups of the system record: the display and its devices, the stall rule of frame
// composition, the notice and the screenshots.
#pragma once

#include "display/display.h"
#include "display/display_device.h"
#include "platform/gdi/gdi.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace platform {
class PictureFileWriter;
}

namespace sublumen {

// Display devices and modes.
struct DisplayGlobals {
    std::unique_ptr<Display> display;
    DisplayDevice displayDevices[4] {};
    int32_t displayDeviceCount = 0;

    // The surface a frame is composed on: the display's back surface, none without a display.
    DisplaySurface* backSurface() const { return display ? display->back.get() : nullptr; }
};

// Where the stall rule stands: normal playback, or refilling after the stream was moved (a seek, a
// start, Space or a quick skip) until the next update that is neither busy nor waiting.
enum class StallPhase { Playing, AfterSeek };

// Frame composition. The stall fields are written only by the movie session, which moves the stream and
// applies the rule.
struct CompositionState {
    int32_t stallCount = 0;
    int32_t stallLimit = 12;
    StallPhase stallPhase = StallPhase::Playing;
    // The result of the last picture copy: a refusal is logged only when it follows a good copy or
    // changes its code, not on every frame.
    int32_t blitResult = 0;
    // The paused picture was reached by frame steps: the status bar shows its time to the millisecond.
    // Set by a step, cleared by every seek, run and stop.
    bool frameStepped = false;
    // Texts (status bar, captions, overlay) are drawn after the picture is enlarged, at the shown
    // pixels (presented_layer.cpp), not on the back surface.
    bool textsPresented = false;
    // The system's fonts made again at the enlargement, each with the serial of the font it was made from.
    struct ScaledFont {
        uint64_t source = 0;
        double scale = 0;
        HFONT font = nullptr;

        ScaledFont() = default;
        ScaledFont(ScaledFont&& other) noexcept { *this = std::move(other); }
        ScaledFont& operator=(ScaledFont&& other) noexcept
        {
            if (this != &other) {
                if (font)
                    DeleteObject(font);
                source = std::exchange(other.source, 0);
                scale = std::exchange(other.scale, 0);
                font = std::exchange(other.font, nullptr);
            }
            return *this;
        }
        ~ScaledFont()
        {
            if (font)
                DeleteObject(font);
        }
    };
    ScaledFont scaledFonts[3];
};

// The notice on the status bar's line (display/notice.h): its text, the calendar second it came and how
// many seconds it stays; the text drawn on the last composed frame.
struct NoticeState {
    std::string text;
    uint32_t since = 0;
    uint32_t seconds = 0;
    std::string drawn;
    // The calendar second of the last sound device found again that the notice told of.
    uint32_t soundBackSince = 0;
};

// Screenshots: the writer that encodes and saves them off the main thread (made at the first one), the
// F12 presses waiting for the next composed frame and the folder they go to.
struct ScreenshotState {
    std::shared_ptr<platform::PictureFileWriter> writer;
    int32_t composedWanted = 0;
    std::string folder;
};

}

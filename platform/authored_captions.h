// SSA/ASS captions drawn as their author styled them (positions, colours, fonts, signs, karaoke), rendered
// by libass at the size the picture is shown at and blended onto a surface. Rendering runs on a worker
// thread of its own, so a scene that costs the renderer long never holds up the picture or the sound: the
// caller waits at most its render budget and otherwise blends the last rendering that was ready.
#pragma once

#include "platform/surface.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

typedef struct ass_renderer ASS_Renderer;

namespace platform {

// A font the movie carries (a Matroska attachment): its file name and bytes.
struct CaptionFont {
    std::string name;
    std::string data;
};

// The fonts a movie carries, read from it once and shared by all its caption streams: they may be tens of
// megabytes.
using CaptionFonts = std::vector<CaptionFont>;

// What an ASS caption stream of a movie needs besides its events: the script's header (the stream's
// codec private data: [Script Info], styles) and the fonts attached to the movie (none: no fonts).
struct AuthoredStyle {
    std::string header;
    std::shared_ptr<const CaptionFonts> fonts;
};

// Where the whole picture lies on the target, in target pixels (it may reach past the target's edges
// when the picture is cropped), and the picture's own size in pixels.
struct PictureFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int pictureWidth = 0;
    int pictureHeight = 0;
};

// Sets a new libass renderer up as the player's are: its fonts (the system's, through our font
// configuration) and the bitmaps its caches keep.
void setUpRenderer(ASS_Renderer* renderer);

// The most a movie's attachments may bring as fonts: one font, and all of them together.
constexpr size_t maximumFontBytes = 64u << 20;
constexpr size_t maximumFontsBytes = 256u << 20;

class AuthoredCaptions {
public:
    // From the UTF-8 text of a whole .ass/.ssa file; none, logged, when libass finds no script in it.
    static std::unique_ptr<AuthoredCaptions> fromScript(std::string_view utf8);
    // For a caption stream: its header and the movie's fonts; events come through addEvent.
    static std::unique_ptr<AuthoredCaptions> fromStream(const AuthoredStyle& style);
    ~AuthoredCaptions();
    AuthoredCaptions(const AuthoredCaptions&) = delete;
    AuthoredCaptions& operator=(const AuthoredCaptions&) = delete;

    // One event of the stream as its decoder gives it ("ReadOrder,Layer,Style,…,Text"), shown from start
    // for duration (milliseconds). An event already held (same ReadOrder) is ignored, so the events read
    // again after a seek do no harm.
    void addEvent(int64_t start, int64_t duration, std::string_view line);

    // Blends the captions in force at time (milliseconds) onto target, laid out over frame and clipped to
    // the target. Waits for their rendering at most the render budget; past it, blends the last rendering
    // made for the same frame, if any, and lets the rendering finish behind.
    void blend(PixelView target, const PictureFrame& frame, int64_t time);

    // A change the player makes to every event's text (override tags and all): the new text, "" to show
    // nothing of the event.
    using EventTextFilter = std::string (*)(std::string_view text);
    // Shows the events' texts through filter from the next rendering on; null shows them as authored.
    // Setting the filter in force again costs nothing.
    void setEventTextFilter(EventTextFilter filter);

    // How long blend waits for a rendering; the default keeps a frame of a 60 Hz screen.
    void setRenderBudget(std::chrono::milliseconds budget);
    static constexpr std::chrono::milliseconds defaultRenderBudget {10};

    struct State;

private:
    explicit AuthoredCaptions(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}

// SSA/ASS captions drawn as authored, as the player draws them: the input read as an .ass file through
// the Caption constructor and, cut at its "[Events]" line, as a movie's caption stream (the header, then
// each later line an event with a time taken from the input). Both are blended at a few times onto a
// surface over a letterboxed frame and over a cropped one that reaches past the surface's edges; every
// pixel outside the frame must stay as it was.
#include "fuzz_support.h"

#include "caption/caption.h"
#include "platform/authored_captions.h"

#include <chrono>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr int width = 160;
constexpr int height = 120;

void fillPattern(platform::Surface& s)
{
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            platform::writePixel(s, x, y, platform::packPixel(s.format, x * 3, y * 2, (x ^ y) & 255));
}

// Every pixel of s outside frame (clipped to s) equals the pattern.
bool untouchedOutside(const platform::Surface& s, const platform::PictureFrame& frame)
{
    platform::Surface pattern(s.width, s.height, s.format);
    fillPattern(pattern);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const bool inside = x >= frame.left && x < frame.left + frame.width && y >= frame.top
                && y < frame.top + frame.height;
            if (!inside && platform::readPixel(s, x, y) != platform::readPixel(pattern, x, y))
                return false;
        }
    return true;
}

void blendAll(platform::AuthoredCaptions& captions, uint32_t time)
{
    // Rendering waits for the renderer, so every input is rendered whole however long it takes.
    captions.setRenderBudget(std::chrono::minutes(10));
    const platform::PictureFrame frames[] = {
        { 0, 15, 160, 90, 1280, 720 },    // letterboxed
        { -40, 0, 213, 120, 1920, 1080 },  // cropped at both sides
    };
    for (const platform::PictureFrame& frame : frames) {
        for (platform::PixelFormat format : { platform::PixelFormat::XRGB8888, platform::PixelFormat::RGB565 }) {
            platform::Surface screen(width, height, format);
            for (uint32_t t : { 0u, 1500u, time }) {
                fillPattern(screen);
                captions.blend(screen, frame, t);
                FUZZ_CHECK(untouchedOutside(screen, frame));
            }
        }
    }
}

}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzing::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzing::scratchFile("input.ass");
    fuzzing::writeInput(path, data, size);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    uint32_t time = 0;
    std::memcpy(&time, data, std::min(size, sizeof time));
    time %= 3'600'000;
    {
        sublumen::Caption track(path.c_str());
        if (track.authored)
            blendAll(*track.authored, time);
    }

    size_t events = input.find("[Events]");
    platform::AuthoredStyle style;
    style.header = std::string(input.substr(0, events == std::string_view::npos ? input.size() : events));
    // An attachment that is no font at all must be refused by the renderer without harm.
    style.fonts = std::make_shared<const platform::CaptionFonts>(platform::CaptionFonts {
        { "broken.ttf", std::string(input.substr(0, std::min<size_t>(size, 64))) } });
    std::unique_ptr<platform::AuthoredCaptions> stream = platform::AuthoredCaptions::fromStream(style);
    FUZZ_CHECK(stream != nullptr);
    if (events != std::string_view::npos) {
        std::string_view rest = input.substr(events);
        int64_t start = 0;
        for (size_t line = 0; !rest.empty() && line < 200; ++line) {
            size_t end = std::min(rest.find('\n'), rest.size());
            std::string_view text = rest.substr(0, end);
            // "Dialogue: 0,0:00:01.00,…" lines carry their own times in a file; in a stream the decoder
            // hands the fields after them, which the line's own text stands in for here.
            stream->addEvent(start, static_cast<int64_t>(text.size()) * 37, text);
            start += static_cast<int64_t>(text.size()) * 11;
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    }
    blendAll(*stream, time);
    return 0;
}

// A picture caption file of any bytes loaded as the player loads it (openCaptionFile's picture path, the
// PictureCaption track), then every caption drawn onto a small screen under an odd placement, and the
// first few made ready for the text reader. With
// PICTURE_SUFFIX ".idx" the input is a VobSub pair: the bytes before the first MPEG pack header
// (00 00 01 BA) are the index, the rest its .sub.
#include "caption/picture_caption.h"
#include "fuzz_support.h"
#include "platform/caption_text_preparation.h"

#include <algorithm>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzing::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzing::scratchFile("input" PICTURE_SUFFIX);
    if (std::strcmp(PICTURE_SUFFIX, ".idx") == 0) {
        static const std::string sub = fuzzing::scratchFile("input.sub");
        static const uint8_t pack[] = { 0, 0, 1, 0xBA };
        const uint8_t* split = std::search(data, data + size, pack, pack + 4);
        fuzzing::writeInput(path, data, static_cast<size_t>(split - data));
        fuzzing::writeInput(sub, split, static_cast<size_t>(data + size - split));
    } else {
        fuzzing::writeInput(path, data, size);
    }
    sublumen::PictureCaption track(path.c_str());
    FUZZ_CHECK(track.loadResult == 0 || track.entries().empty());
    uint32_t previous = 0;
    for (const auto& entry : track.entries()) {
        FUZZ_CHECK(entry.start >= previous);
        previous = entry.start;
        for (const platform::CaptionBitmap& bitmap : entry.picture->bitmaps) {
            FUZZ_CHECK(bitmap.width > 0 && bitmap.height > 0);
            FUZZ_CHECK(bitmap.argb().size() == static_cast<size_t>(bitmap.width) * bitmap.height);
        }
    }
    // Drawn shrunk, moved partly off the screen and enlarged, in both pixel formats: every pixel written
    // lies inside the screen (the sanitizers watch), and a caption is never cut by it.
    platform::Surface screens[]
        = { { 64, 48, platform::PixelFormat::XRGB8888 }, { 64, 48, platform::PixelFormat::RGB565 } };
    sublumen::PictureCaptionView view;
    view.screenWidth = 64;
    view.screenHeight = 48;
    view.scaleX = 0.05;
    view.scaleY = 0.07;
    view.offsetX = -7;
    view.captionScale = 3;
    view.raise = 30;
    size_t drawn = 0;
    for (const auto& entry : track.entries()) {
        if (++drawn > 20)
            break;
        for (platform::Surface& screen : screens)
            track.draw(entry.start, screen, view);
        for (const sublumen::ScreenBox& box : sublumen::layoutPictureCaption(*entry.picture, view))
            FUZZ_CHECK(
                box.width == 0 || (box.x >= 0 && box.y >= 0 && box.x + box.width <= 64 && box.y + box.height <= 48));
    }
    // Made ready for the text reader: pictures of the sizes they say, within the reader's bounds.
    drawn = 0;
    for (const auto& entry : track.entries()) {
        if (++drawn > 5)
            break;
        for (const platform::GreyPicture& line : platform::prepareForReading(*entry.picture))
            FUZZ_CHECK(line.width > 0 && line.height > 0 && line.width <= 8000 + 2 * platform::readerBorder
                && line.pixels.size() == static_cast<size_t>(line.width) * line.height);
    }
    return 0;
}

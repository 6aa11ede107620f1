// The picture captions of a caption track (Caption::pictures): the bitmap captions of a picture caption
// file (PGS .sup, VobSub .idx/.sub) or of one of the movie's picture caption streams as it is read, looked
// up by time, blended onto the screen, and the text read from each.
#pragma once

#include "platform/caption_text_reader.h"
#include "platform/mmstream/caption_pictures.h"
#include "platform/mmstream/picture_stream_scan.h"
#include "platform/surface.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sublumen {

// Where a picture caption goes on the screen: its canvas mapped onto the shown picture (screen =
// canvas × scale + offset), then scaled by captionScale about the bottom centre of the whole caption,
// raised by raise pixels, and kept inside the screen.
struct PictureCaptionView {
    double scaleX = 1;
    double scaleY = 1;
    double offsetX = 0;
    double offsetY = 0;
    double captionScale = 1;
    int32_t raise = 0;
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    // Only the bitmaps flagged forced are shown (captions are switched off).
    bool forcedOnly = false;
    // Only captions not read as text yet are shown (the others are drawn as text).
    bool unreadOnly = false;
};

// A bitmap's place on the screen, in whole pixels.
struct ScreenBox {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Whether two captions show the same bitmaps (their places aside), so that one read says what the
// other does.
bool sameBitmaps(const platform::CaptionPicture& a, const platform::CaptionPicture& b);

// The screen boxes of the bitmaps of picture (one per bitmap, in order; an empty box for a bitmap left
// out by forcedOnly) under view.
std::vector<ScreenBox> layoutPictureCaption(const platform::CaptionPicture& picture, const PictureCaptionView& view);

class PictureCaption {
public:
    // An empty track that the movie's caption stream fills as it is read (addPictures).
    PictureCaption() = default;
    // Reads the picture caption file fileName whole; loadResult is 0, or -1 when nothing could be read.
    // What could not be read is logged.
    explicit PictureCaption(const char* fileName);
    PictureCaption(const PictureCaption&) = delete;
    PictureCaption& operator=(const PictureCaption&) = delete;

    // Adds captions in any order; one starting when a held one starts replaces it (a caption read again
    // after a backward seek), keeping the text read from it when its bitmaps are the same. Returns the
    // starts of the entries added or replaced, in order.
    std::vector<uint32_t> addPictures(std::vector<platform::CaptionPictureHandle> pictures);
    // Keeps text as what the caption starting at start says, when that caption is picture or one with
    // the same bitmaps; false when it is not held (any more).
    bool setText(uint32_t start, const platform::CaptionPicture& picture, std::string text);
    // The starts of the captions added since the last call that are not read yet, in order.
    std::vector<uint32_t> takeUnread();
    // The caption in force at time (milliseconds), none when nothing is shown then.
    const platform::CaptionPicture* shownAt(uint32_t time) const;
    // Blends the caption in force at time onto target as view places it; false when nothing was drawn.
    bool draw(uint32_t time, platform::PixelView target, const PictureCaptionView& view);

    struct Entry {
        uint32_t start; // milliseconds
        uint32_t end; // milliseconds; endMarker when it lasts until the next one
        platform::CaptionPictureHandle picture;
        // What it says, once read as text.
        std::optional<std::string> text;
    };
    const std::vector<Entry>& entries() const { return entries_; }
    // The entry starting at start, or none.
    const Entry* entryAt(uint32_t start) const;
    int loadResult = 0;
    // The captions of the file that could not be shown whole, each also named in the log.
    std::vector<platform::CaptionDrop> drops;

    // The language tag of the captions (the stream's, the VobSub index's or the file name's), "" when
    // none is known; it chooses the reader's languages.
    std::string language;
    // The movie's caption stream these are the captions of, by its number; -1 for a caption file.
    int32_t stream = -1;
    // Their reading as text, and for a stream its reading ahead of the play; made by the player when it
    // first shows the track (media/picture_reading.h).
    std::unique_ptr<platform::CaptionReadingTrack> reading;
    std::unique_ptr<platform::PictureStreamScan> scan;

private:
    const Entry* shownEntry(uint32_t time) const;

    std::vector<Entry> entries_;
    std::vector<uint32_t> unread_;
    // The bitmaps last drawn, scaled to their boxes with premultiplied alpha, so that a caption that
    // stays on the screen is scaled once.
    struct Scaled {
        int32_t width = 0;
        int32_t height = 0;
        std::vector<uint32_t> pixels;
    };
    // Held, so that no other caption can take its place in memory while the scaled bitmaps stand.
    platform::CaptionPictureHandle scaledFor_;
    std::vector<Scaled> scaled_;
};

// The bitmap scaled to width × height (bilinear when enlarged, an area average when shrunk) as
// premultiplied 0xAARRGGBB pixels.
std::vector<uint32_t> scaleCaptionBitmap(const platform::CaptionBitmap& bitmap, int32_t width, int32_t height);

// Blends premultiplied pixels (width × height) onto target at (x, y), clipped to the target.
void blendPremultiplied(
    platform::PixelView target, int32_t x, int32_t y, int32_t width, int32_t height, const uint32_t* pixels);

}

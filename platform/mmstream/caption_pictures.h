// Picture captions (PGS, DVD and DVB subtitles): bitmaps placed on a canvas, as the media library
// decodes them from a caption stream inside a movie or from a picture caption file beside it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ratio>
#include <string>
#include <vector>

namespace platform {

// One bitmap of a picture caption, at (x, y) of its canvas, width × height pixels. It is kept as the
// stream gives it, palette indices, run-length coded: a caption is mostly clear, and a film's worth of
// them stays small.
struct CaptionBitmap {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool forced = false; // shown even when captions are switched off
    // Colours as 0xAARRGGBB with straight (not premultiplied) alpha, up to 256.
    std::vector<uint32_t> palette;
    // Pairs of a count (1..255) and a palette index, row after row; pixels past the runs are clear.
    std::vector<uint8_t> runs;

    // Takes width × height indices (rows linesize apart); an index beyond the palette becomes clear
    // and is counted in beyondPalette.
    void setIndices(const uint8_t* indices, int linesize, int& beyondPalette);
    // The pixels as 0xAARRGGBB, width × height of them, top row first.
    std::vector<uint32_t> argb() const;
    // The memory the bitmap holds.
    size_t bytes() const { return runs.size() + palette.size() * sizeof(uint32_t) + sizeof *this; }
};

// One picture caption: shown from start until end, or until the next caption of its stream starts when
// end is unbounded. No bitmaps: the screen is cleared from start on.
struct CaptionPicture {
    // Counted in 100-nanosecond units from the start of the movie.
    using Time = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
    static constexpr Time unbounded = Time::max();
    Time start { 0 };
    Time end = unbounded;
    // The canvas the bitmaps are placed on; 0 when the stream tells none (the movie's picture then is).
    int canvasWidth = 0;
    int canvasHeight = 0;
    std::vector<CaptionBitmap> bitmaps;
};

// Pictures are shared between the stream that decoded them and the track that shows them.
using CaptionPictureHandle = std::shared_ptr<const CaptionPicture>;

// A bitmap larger than this (in pixels) is dropped: no caption canvas comes near it.
constexpr int64_t maxCaptionBitmapPixels = 4096 * 4096;

enum class PictureCaptionFormat {
    None, // not a picture caption file
    Sup, // PGS (.sup)
    VobSub, // an .idx with its .sub, or a .sub that is an MPEG program stream
};


// A picture caption that could not be shown whole: when it starts, whether nothing of it is left, and why
// (the decoder's reasons and ours).
struct CaptionDrop {
    CaptionPicture::Time at { 0 };
    bool whole = false;
    std::string why;
};

// The drop as one line: "caption at 01:02.34 dropped: why" ("shown in part" for a part).
std::string captionDropLine(const CaptionDrop& drop);

struct PictureCaptionFile {
    bool opened = false;
    std::string failure; // why it could not be read at all
    int undecodedPackets = 0; // packets without a time or that failed to decode
    int droppedBitmaps = 0; // bitmaps beyond every sane size, or whose pixels lie outside their data
    int badColours = 0; // pixels whose palette index lies beyond the palette (shown transparent)
    // The captions' language tag: the stream's (a VobSub index's "id:"), else the file name's (the "ko"
    // of "movie.ko.sup"); "" when neither tells one.
    std::string language;
    std::vector<CaptionDrop> drops; // each caption not shown whole, in the order of the file
};

// Whether the media library's VobSub reader would write past its own memory reading path as an index: it
// keeps the captions of at most 32 streams, and starts one whenever the index goes back and forth between
// them. asVobSub: path is read as an index whatever it starts with; otherwise only a file that starts as
// one is (as the library takes a file for an index by its first line when it is not told what it is).
// Anything but a regular file is left alone.
bool overrunsVobSubReader(const std::string& path, bool asVobSub);

// Reads a picture caption file of format whole (the caption side tells which, caption/caption_formats.h),
// handing each caption to take in the order of the file. For VobSub the .idx is read (found beside a .sub
// given), its .sub beside it; a .sub without one is read as a bare program stream with a default palette.
PictureCaptionFile readPictureCaptionFile(
    const std::string& path, PictureCaptionFormat format, const std::function<void(CaptionPictureHandle)>& take);

}

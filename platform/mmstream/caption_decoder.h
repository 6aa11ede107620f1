// The caption side of the demuxer: the choice among a movie's caption streams and the decoder that
// turns the chosen stream's packets into caption texts or pictures as they are read.
#pragma once

#include "platform/mmstream/caption_pictures.h"
#include "platform/mmstream/ffmpeg_support.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

// Of the caption streams in format, text (SubRip, ASS/SSA, WebVTT, MP4 timed text) and picture (PGS,
// DVD, DVB), and the TV caption streams inside its video (tv_captions.h): a text stream tagged Korean,
// else a Korean CEA-708 service, else a picture stream tagged Korean, else the one flagged default, else
// the first (the container's before the TV ones). When logBitmap is set a chosen picture stream is logged.
enum class LogBitmapStreams { No, Yes };
CaptionStreamInfo chooseCaptionStream(const AVFormatContext& format, LogBitmapStreams logBitmap,
    const std::vector<CaptionStreamInfo>& tvStreams = {});
// Every caption stream of format the player can show, in container order: those chooseCaptionStream
// chooses among.
// SSA/ASS streams carry fonts, shared by all of them.
std::vector<CaptionStreamInfo> captionStreamList(const AVFormatContext& format,
    const std::shared_ptr<const CaptionFonts>& fonts);

// The fonts among the movie's attachments, read once for all its SSA/ASS caption streams; none when it has
// no such stream. Font attachments that hold no data are logged.
std::shared_ptr<const CaptionFonts> attachedFonts(const AVFormatContext& format);
// For an SSA/ASS caption stream: its header and the movie's fonts, for drawing it as authored; none for
// any other stream.
std::shared_ptr<const AuthoredStyle> authoredStyleOf(const AVStream& stream, const std::shared_ptr<const CaptionFonts>& fonts);

// What became of the bitmaps of decoded picture captions that could not be shown whole: counts over all of
// them, and the reasons for the caption at hand (the decoder's lines and ours), which captionDrop takes.
struct BitmapDrops {
    int droppedBitmaps = 0;
    int badColours = 0;
    std::vector<std::string> reasons;
    // The time of the packets the reasons came from: a caption comes in packets of one time.
    std::optional<CaptionPicture::Time> reasonsFrom;
};

// Decodes one caption packet of time `at`, what the decoder says of it kept in drops as reasons for the
// caption of that time. Reasons still held from packets of another time belong to a caption the decoder
// never gave out: they come out first, as its drop, in unclaimed. The decoder's result.
int decodeCaptionPacket(AVCodecContext& codec, AVPacket& packet, AVSubtitle& subtitle, int& got,
    CaptionPicture::Time at, BitmapDrops& drops, std::optional<CaptionDrop>& unclaimed);

// The bitmaps of subtitle (decoded by codec) as a caption shown from start to end; bitmaps too large or
// whose pixels lie outside their data are dropped, pixels whose palette index lies beyond the palette
// become transparent, both counted in drops with their reasons. The canvas is the decoder's picture size,
// when it knows one.
CaptionPictureHandle pictureOfSubtitle(const AVSubtitle& subtitle, const AVCodecContext& codec,
    CaptionPicture::Time start, CaptionPicture::Time end, BitmapDrops& drops);

// For a caption that starts at `at`: what was dropped of it and why, when drops holds reasons (taking them);
// nothing when all of it is shown. whole: nothing of it is left to show. Unclaimed reasons at the end of
// the stream are taken with `at` their own time.
std::optional<CaptionDrop> captionDrop(CaptionPicture::Time at, bool whole, BitmapDrops& drops);

// When a decoded picture caption ends: the end its packet or its decoder tells, unbounded (until the
// next one) when neither does and for one that clears the screen.
CaptionPicture::Time pictureEnd(const AVSubtitle& subtitle, int64_t packetDuration, AVRational timeBase,
    CaptionPicture::Time base);

class CaptionDecoder {
public:
    // False, with a log line, when the stream's decoder cannot start. A teletext stream is decoded as
    // text, the subtitle page teletextPage (0: all its subtitle pages).
    bool open(const AVStream& stream, MediaTime startOffset, int teletextPage = 0);
    bool isOpen() const { return codec_ != nullptr; }
    // Decodes one packet of the stream and appends its captions to texts. A damaged packet, one without
    // a time stamp and a caption that ends before it starts are dropped with a log line (the first few).
    void decode(AVPacket& packet, std::vector<CaptionText>& texts);
    // The same for a stream of either kind: texts of a text caption stream, pictures of a picture one.
    void decode(AVPacket& packet, std::vector<CaptionText>& texts, std::vector<CaptionPictureHandle>& pictures);

private:
    // One line of the log for what was dropped, for the first few.
    void dropped(const std::string& line);

    CodecContextHandle codec_;
    // Teletext: a page shows until the next one of it comes, an empty one clearing it; what it shows is
    // told with its end once that comes (CaptionText::window).
    bool teletext_ = false;
    std::vector<CaptionText> teletextShown_;
    AVRational timeBase_ {1, 1000};
    MediaTime startOffset_ {0};
    int loggedDrops_ = 0;
    BitmapDrops bitmapDrops_;
};

}

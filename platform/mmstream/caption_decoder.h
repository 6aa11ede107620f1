// The caption side of the demuxer: the choice among a movie's caption streams and the decoder that
// turns the chosen stream's packets into caption texts as they are read.
#pragma once

#include "platform/mmstream/ffmpeg_support.h"

#include <vector>

namespace platform {

// Of the text caption streams in format (SubRip, ASS/SSA, WebVTT, MP4 timed text): the one tagged
// Korean, else the one flagged default, else the first. Bitmap caption streams are never chosen; when
// logBitmap is set their presence is logged once.
enum class LogBitmapStreams { No, Yes };
CaptionStreamInfo chooseCaptionStream(const AVFormatContext& format, LogBitmapStreams logBitmap);
// Every caption stream of format the player can show, in container order: those chooseCaptionStream
// chooses among.
std::vector<CaptionStreamInfo> captionStreamList(const AVFormatContext& format);

// For an SSA/ASS caption stream: its header and the fonts among the movie's attachments, for drawing it
// as authored; none for any other stream. Attachments that are no font or hold no data are logged.
std::shared_ptr<const AuthoredStyle> authoredStyleOf(const AVFormatContext& format, const AVStream& stream);

class CaptionDecoder {
public:
    // False, with a log line, when the stream's decoder cannot start.
    bool open(const AVStream& stream, MediaTime startOffset);
    bool isOpen() const { return codec_ != nullptr; }
    // Decodes one packet of the stream and appends its captions to texts. A damaged packet, one without
    // a time stamp and a caption that ends before it starts are dropped with a log line (the first few).
    void decode(AVPacket& packet, std::vector<CaptionText>& texts);

private:
    void dropped(const char* why);

    CodecContextHandle codec_;
    AVRational timeBase_ {1, 1000};
    MediaTime startOffset_ {0};
    int loggedDrops_ = 0;
};

}

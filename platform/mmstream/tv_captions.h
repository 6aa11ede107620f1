// TV closed captions: the caption data a video stream carries with its pictures (CEA-708 services,
// CEA-608 channels), offered as caption streams of their own and turned into timed captions as the
// pictures are decoded.
#pragma once

#include "platform/closed_captions/cc_data.h"
#include "platform/mmstream/media_backend.h"

#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

struct AVFormatContext;

namespace platform {

// The caption streams inside the video are numbered past any container's streams, so that the memory
// of a movie names them like any other stream: CEA-708 service n is 70800 + n, CEA-608 channel CCn is
// 60800 + n.
constexpr int cea708StreamBase = 70800;
constexpr int cea608StreamBase = 60800;

bool isTvCaptionStream(int index);
// "708-1", "608-CC1"; "" for any other stream.
std::string tvCaptionName(int index);

// A caption whose end is not known yet is shown this far past the latest picture decoded, and moved on
// (by half of it at a time, so a long caption is told again only now and then) while pictures come; so
// a caption still ends when the pictures stop.
constexpr MediaTime openCaptionReach = std::chrono::seconds(10);
// Pictures that carry no caption data at all for this long (the captions of the recording broke off)
// end what is shown, and the decoders start over.
constexpr MediaTime captionDataSilence = std::chrono::seconds(10);

class TvCaptions {
public:
    // The caption data (cc_data triplets) of one picture, pictures in presentation order.
    void picture(std::span<const uint8_t> ccData, MediaTime start, MediaTime end);
    // The caption data of one coded picture (findCcData), pictures in decoding order, which runs up to
    // reorderDepth pictures ahead of presentation order: held until its turn comes. A picture without a
    // time of its own (the second field of a frame) belongs to the picture before it.
    void codedPicture(std::vector<uint8_t> triplets, std::optional<MediaTime> start, MediaTime length, int reorderDepth);
    // The coded pictures held go on, in order (the end of the pictures).
    void flushCoded();
    // The pictures broke off (a seek, the end): the coded pictures held are dropped, what is shown ends
    // with the last picture read, and the decoders start over.
    void breakOff();
    // Appends to out the captions of the streams in selected decided since the last call; a stream
    // newly selected first gets what it shows now. Each caption carries the window it shows: a later
    // caption of the same window and start replaces it (its end was not known, or is known better).
    void take(std::vector<CaptionText>& out, const std::vector<int>& selected);
    // Whether a picture has carried caption data since the captions were made.
    bool sawData() const { return sawData_; }
    // Whether streams() has changed since the last call of this.
    bool streamsChanged();
    // The streams that have carried captions, CEA-708 services first; a service that sent Korean text is
    // tagged "kor".
    std::vector<CaptionStreamInfo> streams() const;

private:
    struct Shown {
        MediaTime since {0};
        MediaTime reach {0};
        std::string text;
    };
    using WindowKey = std::pair<int, int>;  // stream, window

    void screenChanged(int stream, const CaptionScreen& screen, MediaTime at);
    void emit(const WindowKey& key, const Shown& shown, MediaTime end);
    // What is shown ends at `at`, and the decoders start over.
    void endShown(MediaTime at);

    struct Coded {
        MediaTime start {0};
        MediaTime length {0};
        std::vector<uint8_t> triplets;
    };
    std::vector<Coded> coded_;  // in presentation order
    bool sawData_ = false;      // a coded picture has carried caption data

    Cea708Decoder dtv_;
    Cea608Decoder line21_;
    std::vector<Line21Pair> line21Pairs_;
    std::vector<DtvccPair> dtvPairs_;
    std::map<WindowKey, Shown> shown_;
    std::vector<CaptionText> decided_;
    std::vector<int> selected_;
    MediaTime lastEnd_ {0};
    MediaTime lastData_ {0};  // the start of the latest picture that carried caption data
    size_t knownStreams_ = 0;
    bool knownKorean_ = false;
};

// The coding whose pictures carry TV caption data that findCcData reads, for a codec of the library.
std::optional<VideoCoding> captionCodingOf(int codecId);

// The TV caption streams the first seconds of the video stream numbered videoIndex in the file carry:
// its packets read through a reader of its own, their caption data decoded in presentation order.
std::vector<CaptionStreamInfo> scanTvCaptions(const std::string& path, const AVFormatContext& format, int videoIndex);

}

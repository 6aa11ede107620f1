// The demuxer: opens the container and, on its own thread, reads packets into the decoders' queues
// and carries out seeks.
#pragma once

#include "platform/mmstream/caption_decoder.h"
#include "platform/mmstream/ffmpeg_support.h"
#include "platform/mmstream/stream_state.h"

#include <string>

namespace platform {

class FfmpegDemuxer {
public:
    explicit FfmpegDemuxer(SharedState& shared)
        : shared_(shared)
    {
    }
    FfmpegDemuxer(const FfmpegDemuxer&) = delete;
    FfmpegDemuxer& operator=(const FfmpegDemuxer&) = delete;

    // Opens the container at path and reads what it says of its streams; logs why it cannot.
    OpenError open(const std::string& path);
    AVFormatContext& format() { return *format_; }
    // The container's start time, which becomes position 0.
    MediaTime startOffset() const { return startOffset_; }
    // The streams that are decoded (-1: not decoded); their packets go into the queues, and the packets
    // of the other audio streams are not even read. Before run; SharedState::audioIndex changes it later.
    void queueStreams(int videoIndex, int audioIndex);
    // Chooses the caption stream whose packets are decoded as they are read, among the container's and
    // the TV caption streams tvStreams (which the video decoder reads, not the demuxer); an SSA/ASS one
    // is drawn with fonts, the movie's attached fonts. Before run.
    CaptionStreamInfo readCaptions(const std::shared_ptr<const CaptionFonts>& fonts,
        const std::vector<CaptionStreamInfo>& tvStreams);

    // The thread's body; returns when the engine quits.
    void run();

private:
    // Must be called with the mutex held.
    bool hasRoom() const;
    // A seek of the user's: everything is read again from the key frame at or before target.
    void seek(MediaTime target);
    void seekFile(MediaTime target);
    // Reads the audio stream again from target while the pictures and captions already queued are not
    // queued twice.
    void resyncAudio(MediaTime target, int audioIndex);
    // Whether a packet read again after resyncAudio is left out. Lock held.
    bool readTwice(const AVPacket& packet, int audioIndex);
    // The container reads only the packets of the audio stream numbered index among its audio streams.
    void readOnlyAudio(int index);
    void markEnd(uint64_t generation);
    // Decodes a packet of a caption stream and queues its captions. Called without the mutex.
    struct CaptionStreamDecoder;
    void decodeCaption(CaptionStreamDecoder& stream, AVPacket& packet, uint64_t generation);
    // Whether packets of the container stream numbered index go to a caption decoder.
    bool decodesCaptionsOf(int index) const;
    // Decodes the caption streams in wanted from now on; true when one of them was not decoded before.
    bool decodeCaptionStreams(const std::vector<int>& wanted);
    // Reads the file again from target for the caption streams just added, leaving out the pictures and
    // sound already queued; the captions of the others come twice and are told apart by the caller.
    void resyncCaptions(MediaTime target);
    // Whether the packets read again after resyncCaptions are passed over without waiting for room.
    bool catchingUp() const { return captionCatchUp_ && (videoRereads_ || audioRereads_); }
    static int interruptCallback(void* self);

    SharedState& shared_;
    // Read only by the demuxer's thread once the threads run.
    FormatContextHandle format_;
    int videoIndex_ = -1;
    // The caption streams decoded, each with its own decoder.
    struct CaptionStreamDecoder {
        int index = -1;      // the caption stream (a teletext page is one)
        int container = -1;  // the container stream whose packets it decodes
        CaptionDecoder decoder;
    };
    std::vector<CaptionStreamDecoder> captionDecoders_;
    int audioRead_ = -1;  // the audio stream the container reads
    // Used only by the demuxer's thread. The last picture and caption packets queued (stream time
    // stamps), the packets of them read again after a resync up to there, and the audio packets that
    // end before the resync's target, are left out. A seek clears them.
    int64_t lastVideoTs_ = AV_NOPTS_VALUE;
    int64_t lastCaptionTs_ = AV_NOPTS_VALUE;
    int64_t lastAudioTs_ = AV_NOPTS_VALUE;
    bool videoRereads_ = false;
    bool captionRereads_ = false;
    bool audioRereads_ = false;
    bool captionCatchUp_ = false;
    MediaTime audioFrom_ = MediaTime::min();
    bool videoEndQueued_ = false;
    bool audioEndQueued_ = false;
    MediaTime startOffset_ {0};
};

}

#include "platform/mmstream/caption_pictures.h"

#include "platform/kernel.h"
#include "platform/mmstream/caption_decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <strings.h>
#include <sys/stat.h>

namespace platform {

namespace {

bool endsWith(const std::string& path, const char* suffix)
{
    size_t n = std::strlen(suffix);
    return path.size() >= n && strcasecmp(path.c_str() + path.size() - n, suffix) == 0;
}

bool isRegularFile(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The file beside path with its last four characters (".sub", ".idx") replaced by suffix, in either
// case, as a folder copied from a disc often writes its names in capitals; "" when there is none.
std::string neighbour(const std::string& path, const char* lower, const char* upper)
{
    std::string stem = path.substr(0, path.size() - 4);
    for (const char* suffix : { lower, upper }) {
        std::string candidate = stem + suffix;
        if (isRegularFile(candidate))
            return candidate;
    }
    return "";
}

// The language a caption file's name tells: two or three letters between the name's last two dots.
std::string languageOfName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const size_t last = name.rfind('.');
    if (last == std::string::npos || last == 0)
        return "";
    const size_t before = name.rfind('.', last - 1);
    if (before == std::string::npos)
        return "";
    const std::string tag = name.substr(before + 1, last - before - 1);
    if (tag.size() < 2 || tag.size() > 3
        || !std::all_of(tag.begin(), tag.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }))
        return "";
    return tag;
}

struct SubtitleFreer {
    void operator()(AVSubtitle* s) const { avsubtitle_free(s); }
};

// The media library's VobSub reader keeps the captions of at most this many streams, and starts a stream
// each time a "timestamp:" line follows an "id:" line other than the last stream's; an index that switches
// more often makes it write past its own memory.
constexpr int vobSubStreams = 32;
// The library reads an index a line at a time, at most this many characters of a line.
constexpr size_t longestIndexLine = 2047;

// The first line of a VobSub index, by which the media library knows one it is not told about.
constexpr std::string_view vobSubHeader = "# VobSub index file, v";

}

// The index is read line by line as the media library reads it: a line ends at a line feed, a carriage
// return (with the line feed after it) or a NUL, and a line is cut at longestIndexLine characters.
bool overrunsVobSubReader(const std::string& path, bool asVobSub)
{
    // Only a regular file is looked at: reading a pipe would take from the movie what the library is to read.
    if (!isRegularFile(path))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    if (!asVobSub) {
        char head[vobSubHeader.size()] = {};
        const bool index = std::fread(head, 1, sizeof head, file) == sizeof head
            && std::string_view(head, sizeof head) == vobSubHeader;
        if (!index) {
            std::fclose(file);
            return false;
        }
    }
    std::rewind(file);
    long stream = -1;
    long shown = -1;
    int started = 0;
    bool overruns = false;
    std::string line;
    for (;;) {
        // One line as the library reads one: the line's end is kept, and a line begun by a NUL or the file's
        // end is empty and ends the index.
        line.clear();
        int c;
        do {
            c = std::getc(file);
            if (c == EOF)
                c = 0;
            if (c && line.size() < longestIndexLine)
                line.push_back(static_cast<char>(c));
        } while (c != '\n' && c != '\r' && c);
        if (c == '\r') {
            const int next = std::getc(file);
            if (next != '\n' && next != EOF)
                std::ungetc(next, file);
        }
        if (line.empty())
            break;
        line.erase(std::min(line.find_first_of("\r\n"), line.size()));
        if (line.rfind("id:", 0) == 0) {
            char language[64];
            unsigned index = 0;
            stream = std::sscanf(line.c_str(), "id: %63[^,], index: %u", language, &index) == 2 ? index : 0;
            if (stream >= vobSubStreams)
                break; // the reader stops at such an index itself
        } else if (line.rfind("timestamp:", 0) == 0) {
            if (stream < 0)
                break;
            if (shown != stream && ++started > vobSubStreams) {
                overruns = true;
                break;
            }
            shown = stream;
        }
    }
    std::fclose(file);
    return overruns;
}

void CaptionBitmap::setIndices(const uint8_t* indices, int linesize, int& beyondPalette)
{
    runs.clear();
    const size_t colours = palette.size();
    // An index beyond the palette is drawn clear: index 0 of a palette whose first colour is clear, or
    // an extra clear colour.
    uint8_t clear = 0;
    bool clearKnown = colours > 0 && (palette[0] >> 24) == 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = indices + static_cast<ptrdiff_t>(y) * linesize;
        for (int x = 0; x < width;) {
            uint8_t index = row[x];
            int n = 1;
            while (x + n < width && n < 255 && row[x + n] == index)
                ++n;
            if (index >= colours) {
                beyondPalette += n;
                if (!clearKnown) {
                    if (palette.size() >= 256) {
                        palette.back() = 0;
                        clear = 255;
                    } else {
                        clear = static_cast<uint8_t>(palette.size());
                        palette.push_back(0);
                    }
                    clearKnown = true;
                }
                index = clear;
            }
            runs.push_back(static_cast<uint8_t>(n));
            runs.push_back(index);
            x += n;
        }
    }
    runs.shrink_to_fit();
}

std::vector<uint32_t> CaptionBitmap::argb() const
{
    const size_t total = width > 0 && height > 0 ? static_cast<size_t>(width) * static_cast<size_t>(height) : 0;
    std::vector<uint32_t> out(total, 0);
    size_t at = 0;
    for (size_t i = 0; i + 1 < runs.size() && at < total; i += 2) {
        const size_t n = std::min<size_t>(runs[i], total - at);
        const uint32_t colour = runs[i + 1] < palette.size() ? palette[runs[i + 1]] : 0;
        std::fill_n(out.begin() + static_cast<ptrdiff_t>(at), n, colour);
        at += n;
    }
    return out;
}

CaptionPicture::Time pictureEnd(
    const AVSubtitle& subtitle, int64_t packetDuration, AVRational timeBase, CaptionPicture::Time base)
{
    if (subtitle.num_rects == 0)
        return CaptionPicture::unbounded;
    if (subtitle.end_display_time > subtitle.start_display_time && subtitle.end_display_time != UINT32_MAX)
        return base + std::chrono::milliseconds(subtitle.end_display_time);
    if (packetDuration > 0)
        return base + toMediaTime(packetDuration, timeBase);
    return CaptionPicture::unbounded;
}

CaptionPictureHandle pictureOfSubtitle(const AVSubtitle& subtitle, const AVCodecContext& codec,
    CaptionPicture::Time start, CaptionPicture::Time end, BitmapDrops& drops)
{
    auto picture = std::make_shared<CaptionPicture>();
    picture->start = start;
    picture->end = end;
    if (codec.width > 0 && codec.height > 0) {
        picture->canvasWidth = codec.width;
        picture->canvasHeight = codec.height;
    } else if (codec.codec_id == AV_CODEC_ID_DVB_SUBTITLE) {
        // A DVB stream without a display definition is authored for standard definition.
        picture->canvasWidth = 720;
        picture->canvasHeight = 576;
    }
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        const AVSubtitleRect* rect = subtitle.rects[i];
        if (!rect || rect->type != SUBTITLE_BITMAP)
            continue;
        // The decoder leaves an object it could not read empty, and has said why.
        if (rect->w <= 0 || rect->h <= 0) {
            if (drops.reasons.empty())
                drops.reasons.push_back("an object the decoder could not read");
            continue;
        }
        const int64_t pixels = static_cast<int64_t>(rect->w) * rect->h;
        // The indices must lie inside their plane: linesize covers a row, and the rows fit the data.
        if (pixels > maxCaptionBitmapPixels) {
            ++drops.droppedBitmaps;
            drops.reasons.push_back("a picture of " + std::to_string(rect->w) + "x" + std::to_string(rect->h)
                + ", larger than any caption");
            continue;
        }
        if (!rect->data[0] || !rect->data[1] || rect->linesize[0] < rect->w || rect->x < -rect->w
            || rect->y < -rect->h) {
            ++drops.droppedBitmaps;
            drops.reasons.push_back("a picture whose pixels lie outside its data");
            continue;
        }
        CaptionBitmap bitmap;
        bitmap.x = rect->x;
        bitmap.y = rect->y;
        bitmap.width = rect->w;
        bitmap.height = rect->h;
        bitmap.forced = (rect->flags & AV_SUBTITLE_FLAG_FORCED) != 0;
        const auto* palette = reinterpret_cast<const uint32_t*>(rect->data[1]);
        bitmap.palette.assign(palette, palette + std::clamp(rect->nb_colors, 0, 256));
        int beyond = 0;
        bitmap.setIndices(rect->data[0], rect->linesize[0], beyond);
        if (beyond) {
            ++drops.badColours;
            drops.reasons.push_back("colours beyond its palette, shown clear");
        }
        picture->bitmaps.push_back(std::move(bitmap));
    }
    return picture;
}

std::optional<CaptionDrop> captionDrop(CaptionPicture::Time at, bool whole, BitmapDrops& drops)
{
    if (drops.reasons.empty())
        return std::nullopt;
    CaptionDrop drop { at, whole, "" };
    for (size_t i = 0; i < drops.reasons.size(); ++i) {
        const std::string& reason = drops.reasons[i];
        if (std::find(drops.reasons.begin(), drops.reasons.begin() + static_cast<std::ptrdiff_t>(i), reason)
            != drops.reasons.begin() + static_cast<std::ptrdiff_t>(i))
            continue;
        drop.why += (drop.why.empty() ? "" : "; ") + reason;
    }
    drops.reasons.clear();
    drops.reasonsFrom.reset();
    return drop;
}

int decodeCaptionPacket(AVCodecContext& codec, AVPacket& packet, AVSubtitle& subtitle, int& got,
    CaptionPicture::Time at, BitmapDrops& drops, std::optional<CaptionDrop>& unclaimed)
{
    unclaimed.reset();
    if (drops.reasonsFrom && *drops.reasonsFrom != at)
        unclaimed = captionDrop(*drops.reasonsFrom, true, drops);
    int rc = 0;
    {
        LibraryLogCapture capture(drops.reasons);
        rc = avcodec_decode_subtitle2(&codec, &subtitle, &got, &packet);
    }
    if (!drops.reasons.empty() && !drops.reasonsFrom)
        drops.reasonsFrom = at;
    return rc;
}

std::string captionDropLine(const CaptionDrop& drop)
{
    const int64_t ms = std::max<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(drop.at).count(), 0);
    char when[48];
    std::snprintf(when, sizeof when, "%02lld:%02lld.%02lld", static_cast<long long>(ms / 60000),
        static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000 / 10));
    return std::string("caption at ") + when + (drop.whole ? " dropped: " : " shown in part: ") + drop.why;
}

PictureCaptionFile readPictureCaptionFile(
    const std::string& path, PictureCaptionFormat kind, const std::function<void(CaptionPictureHandle)>& take)
{
    routeLibraryLog();
    PictureCaptionFile out;
    std::string input = path;
    const char* demuxer = "sup";
    if (kind == PictureCaptionFormat::VobSub) {
        demuxer = "vobsub";
        if (endsWith(path, ".sub")) {
            input = neighbour(path, ".idx", ".IDX");
            // A program stream alone carries the pictures without the palette the .idx would give.
            if (input.empty()) {
                input = path;
                demuxer = "mpeg";
            }
        } else if (neighbour(path, ".sub", ".SUB").empty()) {
            out.failure = "no .sub beside the .idx";
            return out;
        }
        if (std::strcmp(demuxer, "vobsub") == 0 && overrunsVobSubReader(input, true)) {
            out.failure = "the .idx switches among more than 32 streams";
            return out;
        }
    } else if (kind == PictureCaptionFormat::None) {
        out.failure = "not a picture caption file";
        return out;
    }
    // Only regular files: a pipe or a device named like a caption file could be read forever.
    if (!isRegularFile(input)) {
        out.failure = "not a readable file";
        return out;
    }
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, input.c_str(), av_find_input_format(demuxer), nullptr);
    if (rc < 0) {
        // avformat_open_input frees the context on failure.
        out.failure = errorText(rc);
        return out;
    }
    FormatContextHandle format(raw);
    if (kind == PictureCaptionFormat::VobSub && std::strcmp(demuxer, "mpeg") == 0)
        avformat_find_stream_info(raw, nullptr);
    // A VobSub pair may hold several languages: the Korean one is read, else the first.
    int index = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        AVCodecID id = format->streams[i]->codecpar->codec_id;
        if (id != AV_CODEC_ID_HDMV_PGS_SUBTITLE && id != AV_CODEC_ID_DVD_SUBTITLE)
            continue;
        const AVDictionaryEntry* language = av_dict_get(format->streams[i]->metadata, "language", nullptr, 0);
        const bool korean = language && language->value
            && (strcasecmp(language->value, "ko") == 0 || strcasecmp(language->value, "kor") == 0);
        if (index < 0 || korean)
            index = static_cast<int>(i);
        if (korean)
            break;
    }
    if (index < 0) {
        out.failure = "no picture caption stream";
        return out;
    }
    AVStream* stream = format->streams[index];
    const AVDictionaryEntry* tag = av_dict_get(stream->metadata, "language", nullptr, 0);
    out.language = tag && tag->value && *tag->value ? tag->value : languageOfName(path);
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (static_cast<int>(i) != index)
            format->streams[i]->discard = AVDISCARD_ALL;
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    CodecContextHandle codec(decoder ? avcodec_alloc_context3(decoder) : nullptr);
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0) {
        out.failure = "no decoder";
        return out;
    }
    codec->pkt_timebase = stream->time_base;
    rc = avcodec_open2(codec.get(), decoder, nullptr);
    if (rc < 0) {
        out.failure = errorText(rc);
        return out;
    }
    out.opened = true;

    const MediaTime startOffset = format->start_time != AV_NOPTS_VALUE && format->start_time > 0 && demuxer[0] == 'm'
        ? toMediaTime(format->start_time, AV_TIME_BASE_Q)
        : MediaTime(0);
    BitmapDrops drops;
    PacketHandle packet(av_packet_alloc());
    if (!packet)
        return out;
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        std::unique_ptr<AVPacket, void (*)(AVPacket*)> unref(packet.get(), av_packet_unref);
        if (packet->stream_index != index)
            continue;
        const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (ts == AV_NOPTS_VALUE) {
            ++out.undecodedPackets;
            continue;
        }
        AVSubtitle subtitle {};
        int got = 0;
        MediaTime base = toMediaTime(ts, stream->time_base) - startOffset;
        std::optional<CaptionDrop> unclaimed;
        const int rc = decodeCaptionPacket(*codec, *packet, subtitle, got, base, drops, unclaimed);
        if (unclaimed)
            out.drops.push_back(std::move(*unclaimed));
        if (rc < 0) {
            ++out.undecodedPackets;
            if (drops.reasons.empty())
                drops.reasons.push_back(errorText(rc));
            if (std::optional<CaptionDrop> drop = captionDrop(base, true, drops))
                out.drops.push_back(std::move(*drop));
            continue;
        }
        if (!got)
            continue;
        std::unique_ptr<AVSubtitle, SubtitleFreer> owned(&subtitle);
        if (subtitle.format != 0)
            continue;
        MediaTime start = base + std::chrono::milliseconds(subtitle.start_display_time);
        CaptionPictureHandle picture
            = pictureOfSubtitle(subtitle, *codec, start, pictureEnd(subtitle, packet->duration, stream->time_base, base), drops);
        if (std::optional<CaptionDrop> drop = captionDrop(start, picture->bitmaps.empty(), drops))
            out.drops.push_back(std::move(*drop));
        take(std::move(picture));
    }
    if (drops.reasonsFrom)
        if (std::optional<CaptionDrop> drop = captionDrop(*drops.reasonsFrom, true, drops))
            out.drops.push_back(std::move(*drop));
    out.droppedBitmaps = drops.droppedBitmaps;
    out.badColours = drops.badColours;
    return out;
}

}

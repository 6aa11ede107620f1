#include "platform/mmstream/caption_decoder.h"
#include "platform/mmstream/caption_pictures.h"
#include "platform/mmstream/caption_streams.h"

#include "platform/kernel.h"
#include "platform/mmstream/tv_captions.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace platform {

namespace {

// A caption whose packet tells no end and whose decoder gives none stays this long.
constexpr MediaTime unknownCaptionLength = std::chrono::seconds(5);
// The damaged packets of one stream that are logged one by one; the rest go unmentioned.
constexpr int loggedCaptionDrops = 3;

bool isTextCaption(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_SUBRIP:
    case AV_CODEC_ID_SRT:
    case AV_CODEC_ID_ASS:
    case AV_CODEC_ID_SSA:
    case AV_CODEC_ID_WEBVTT:
    case AV_CODEC_ID_MOV_TEXT:
    case AV_CODEC_ID_TEXT:
        return true;
    default:
        return false;
    }
}

// The picture caption kinds the player decodes; other bitmap kinds (XSUB, teletext pages) are left alone.
bool isPictureCaption(AVCodecID id)
{
    return id == AV_CODEC_ID_HDMV_PGS_SUBTITLE || id == AV_CODEC_ID_DVD_SUBTITLE || id == AV_CODEC_ID_DVB_SUBTITLE;
}

std::string languageOf(const AVStream& stream)
{
    const AVDictionaryEntry* tag = av_dict_get(stream.metadata, "language", nullptr, 0);
    // "und" (undetermined) is what MP4 writers put where no language was given.
    if (!tag || !tag->value || strcasecmp(tag->value, "und") == 0)
        return {};
    return tag->value;
}

const char* tagOf(const AVStream& stream, const char* key)
{
    const AVDictionaryEntry* tag = av_dict_get(stream.metadata, key, nullptr, 0);
    return tag && tag->value ? tag->value : "";
}

// Fonts are told by their MIME type, which Matroska writers vary (font/ttf, application/x-truetype-font,
// application/vnd.ms-opentype …), or else by the file name's ending.
bool isFontAttachment(const char* name, const char* mimeType)
{
    if (strcasestr(mimeType, "font") || strcasestr(mimeType, "truetype") || strcasestr(mimeType, "opentype"))
        return true;
    size_t length = std::strlen(name);
    const char* ending = length >= 4 ? name + length - 4 : "";
    return strcasecmp(ending, ".ttf") == 0 || strcasecmp(ending, ".otf") == 0 || strcasecmp(ending, ".ttc") == 0
        || strcasecmp(ending, ".otc") == 0;
}

bool isKorean(const std::string& language)
{
    return strcasecmp(language.c_str(), "kor") == 0 || strcasecmp(language.c_str(), "ko") == 0;
}

bool isAuthoredCaption(const AVStream& stream)
{
    const AVCodecID id = stream.codecpar->codec_id;
    return id == AV_CODEC_ID_ASS || id == AV_CODEC_ID_SSA;
}

}

CaptionStreamInfo chooseCaptionStream(const AVFormatContext& format, LogBitmapStreams logBitmap,
    const std::vector<CaptionStreamInfo>& tvStreams)
{
    int first = -1;
    int flaggedDefault = -1;
    int koreanText = -1;
    int koreanPicture = -1;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& stream = *format.streams[i];
        AVCodecID id = stream.codecpar->codec_id;
        const bool picture = isPictureCaption(id);
        if (stream.codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE || (!picture && !isTextCaption(id)))
            continue;
        int index = static_cast<int>(i);
        if (first < 0)
            first = index;
        if (flaggedDefault < 0 && (stream.disposition & AV_DISPOSITION_DEFAULT))
            flaggedDefault = index;
        int& korean = picture ? koreanPicture : koreanText;
        if (korean < 0 && isKorean(languageOf(stream)))
            korean = index;
    }
    auto koreanTv = std::find_if(tvStreams.begin(), tvStreams.end(), [](const CaptionStreamInfo& info) {
        return info.index > cea708StreamBase && isKorean(info.language);
    });
    if (koreanText < 0 && koreanTv != tvStreams.end())
        return *koreanTv;
    int chosen = koreanText >= 0 ? koreanText
        : koreanPicture >= 0     ? koreanPicture
        : flaggedDefault >= 0    ? flaggedDefault
                                 : first;
    if (chosen < 0)
        return tvStreams.empty() ? CaptionStreamInfo {} : tvStreams.front();
    const AVStream& stream = *format.streams[chosen];
    CaptionStreamInfo info;
    info.index = chosen;
    info.language = languageOf(stream);
    info.picture = isPictureCaption(stream.codecpar->codec_id);
    if (info.picture && logBitmap == LogBitmapStreams::Yes)
        platformLog("mmstream: picture caption stream %d (%s)\n", chosen, avcodec_get_name(stream.codecpar->codec_id));
    return info;
}

std::shared_ptr<const CaptionFonts> attachedFonts(const AVFormatContext& format)
{
    // Only SSA/ASS captions use the fonts; a movie without them keeps its attachments unread.
    bool wanted = false;
    for (unsigned i = 0; i < format.nb_streams && !wanted; ++i)
        wanted = isAuthoredCaption(*format.streams[i]);
    if (!wanted)
        return nullptr;
    auto fonts = std::make_shared<CaptionFonts>();
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& attachment = *format.streams[i];
        if (attachment.codecpar->codec_type != AVMEDIA_TYPE_ATTACHMENT)
            continue;
        const char* name = tagOf(attachment, "filename");
        const char* mimeType = tagOf(attachment, "mimetype");
        if (!isFontAttachment(name, mimeType))
            continue;
        const AVCodecParameters& data = *attachment.codecpar;
        if (!data.extradata || data.extradata_size <= 0) {
            platformLog("mmstream: attached font \"%s\" holds no data; not used\n", name);
            continue;
        }
        fonts->push_back({ name, std::string(reinterpret_cast<const char*>(data.extradata),
            static_cast<size_t>(data.extradata_size)) });
    }
    return fonts;
}

std::shared_ptr<const AuthoredStyle> authoredStyleOf(const AVStream& stream, const std::shared_ptr<const CaptionFonts>& fonts)
{
    if (!isAuthoredCaption(stream))
        return nullptr;
    auto style = std::make_shared<AuthoredStyle>();
    if (stream.codecpar->extradata && stream.codecpar->extradata_size > 0)
        style->header.assign(reinterpret_cast<const char*>(stream.codecpar->extradata),
            static_cast<size_t>(stream.codecpar->extradata_size));
    else
        platformLog("mmstream: caption stream %d has no script header; default styles used\n", stream.index);
    style->fonts = fonts;
    return style;
}

std::vector<CaptionStreamInfo> captionStreamList(const AVFormatContext& format, const std::shared_ptr<const CaptionFonts>& fonts)
{
    std::vector<CaptionStreamInfo> list;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& stream = *format.streams[i];
        const AVCodecID id = stream.codecpar->codec_id;
        if (stream.codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE || (!isTextCaption(id) && !isPictureCaption(id)))
            continue;
        CaptionStreamInfo info;
        info.index = static_cast<int>(i);
        info.language = languageOf(stream);
        info.style = authoredStyleOf(stream, fonts);
        info.picture = isPictureCaption(id);
        list.push_back(std::move(info));
    }
    return list;
}

CaptionStreamInfo probeCaptionStream(const std::string& path)
{
    // Only a regular file: opening a pipe or a device to look at its header could wait forever.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || overrunsVobSubReader(path, false))
        return {};
    AVFormatContext* raw = nullptr;
    // The header names the streams of the containers that carry text captions; nothing more is read.
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return {};
    FormatContextHandle format(raw);
    CaptionStreamInfo chosen = chooseCaptionStream(*format, LogBitmapStreams::No);
    // A recording of television carries its captions inside the video; they are looked for only when
    // the header names no caption stream.
    if (chosen.index < 0) {
        const int video = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        std::vector<CaptionStreamInfo> tv = scanTvCaptions(path, *format, video);
        if (!tv.empty())
            chosen = tv.front();
    }
    return chosen;
}

bool CaptionDecoder::open(const AVStream& stream, MediaTime startOffset)
{
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    CodecContextHandle codec(decoder ? avcodec_alloc_context3(decoder) : nullptr);
    if (!codec || avcodec_parameters_to_context(codec.get(), stream.codecpar) < 0) {
        platformLog("mmstream: caption stream %d has no decoder\n", stream.index);
        return false;
    }
    codec->pkt_timebase = stream.time_base;
    int rc = avcodec_open2(codec.get(), decoder, nullptr);
    if (rc < 0) {
        platformLog("mmstream: caption decoder %s cannot start (%s)\n", decoder->name, errorText(rc).c_str());
        return false;
    }
    codec_ = std::move(codec);
    timeBase_ = stream.time_base;
    startOffset_ = startOffset;
    return true;
}

void CaptionDecoder::dropped(const char* why)
{
    if (loggedDrops_++ < loggedCaptionDrops)
        platformLog("mmstream: caption packet dropped (%s)\n", why);
}

void CaptionDecoder::decode(AVPacket& packet, std::vector<CaptionText>& texts)
{
    std::vector<CaptionPictureHandle> pictures;
    decode(packet, texts, pictures);
}

void CaptionDecoder::decode(AVPacket& packet, std::vector<CaptionText>& texts,
    std::vector<CaptionPictureHandle>& pictures)
{
    if (!codec_)
        return;
    const int64_t ts = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    if (ts == AV_NOPTS_VALUE) {
        dropped("no time stamp");
        return;
    }
    AVSubtitle subtitle {};
    int got = 0;
    int rc = avcodec_decode_subtitle2(codec_.get(), &subtitle, &got, &packet);
    if (rc < 0) {
        dropped(errorText(rc).c_str());
        return;
    }
    if (!got)
        return;
    MediaTime base = toMediaTime(ts, timeBase_) - startOffset_;
    MediaTime start = base + std::chrono::milliseconds(subtitle.start_display_time);
    if (subtitle.format == 0) {
        BitmapDrops before = bitmapDrops_;
        if (CaptionPictureHandle picture = pictureOfSubtitle(subtitle, *codec_, start,
                pictureEnd(subtitle, packet.duration, timeBase_, base), bitmapDrops_))
            pictures.push_back(std::move(picture));
        if (bitmapDrops_.droppedBitmaps != before.droppedBitmaps)
            dropped("a caption picture beyond its bounds");
        if (bitmapDrops_.badColours != before.badColours)
            dropped("colours beyond the palette shown transparent");
        avsubtitle_free(&subtitle);
        return;
    }
    MediaTime end;
    if (packet.duration > 0)
        end = base + toMediaTime(packet.duration, timeBase_);
    else if (subtitle.end_display_time > subtitle.start_display_time && subtitle.end_display_time != UINT32_MAX)
        end = base + std::chrono::milliseconds(subtitle.end_display_time);
    else
        end = start + unknownCaptionLength;
    if (end <= start || end <= MediaTime(0)) {
        dropped("ends before it starts");
    } else {
        for (unsigned i = 0; i < subtitle.num_rects; ++i) {
            const AVSubtitleRect& rect = *subtitle.rects[i];
            if (rect.type == SUBTITLE_ASS && rect.ass)
                texts.push_back({start, end, rect.ass, true});
            else if (rect.type == SUBTITLE_TEXT && rect.text)
                texts.push_back({start, end, rect.text, false});
        }
    }
    avsubtitle_free(&subtitle);
}

}

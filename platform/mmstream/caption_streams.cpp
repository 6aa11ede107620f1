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
// A teletext page shows until the next one, or at most this long.
constexpr MediaTime unknownTeletextLength = std::chrono::seconds(10);
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

struct ContainerCaption {
    CaptionStreamInfo info;
    bool flaggedDefault = false;
};

// The subtitle pages a teletext stream's descriptor names (two bytes each: type and magazine, the page
// number in BCD; the language tag lists their languages, comma-separated), each a caption stream of its
// own; the whole stream's subtitle pages as one when it names none.
void addTeletextPages(const AVStream& stream, int index, std::vector<ContainerCaption>& out)
{
    const AVDictionaryEntry* tag = av_dict_get(stream.metadata, "language", nullptr, 0);
    std::vector<std::string> languages;
    if (tag && tag->value) {
        std::string all = tag->value;
        for (size_t from = 0, at;; from = at + 1) {
            at = all.find(',', from);
            std::string language = all.substr(from, at == std::string::npos ? std::string::npos : at - from);
            languages.push_back(strcasecmp(language.c_str(), "und") == 0 ? "" : language);
            if (at == std::string::npos)
                break;
        }
    }
    const bool flaggedDefault = (stream.disposition & AV_DISPOSITION_DEFAULT) != 0;
    const uint8_t* entries = stream.codecpar->extradata;
    const size_t count = entries ? static_cast<size_t>(std::max(stream.codecpar->extradata_size, 0)) / 2 : 0;
    const size_t before = out.size();
    for (size_t k = 0; k < count; ++k) {
        const int type = entries[2 * k] >> 3;
        const int magazine = (entries[2 * k] & 7) ? entries[2 * k] & 7 : 8;
        const int tens = entries[2 * k + 1] >> 4;
        const int units = entries[2 * k + 1] & 0x0F;
        // Subtitle pages, and those for the hard of hearing.
        if ((type != 2 && type != 5) || tens > 9 || units > 9)
            continue;
        ContainerCaption caption;
        caption.info.index = teletextStreamBase + index * 1000 + magazine * 100 + tens * 10 + units;
        caption.info.language = k < languages.size() ? languages[k] : "";
        caption.flaggedDefault = flaggedDefault;
        out.push_back(std::move(caption));
    }
    if (out.size() == before)
        out.push_back({{index, languages.empty() ? "" : languages.front()}, flaggedDefault});
}

// The caption streams of the container the player can show, in container order, a teletext stream's
// pages in its place.
std::vector<ContainerCaption> containerCaptions(const AVFormatContext& format)
{
    std::vector<ContainerCaption> captions;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& stream = *format.streams[i];
        const AVCodecID id = stream.codecpar->codec_id;
        if (stream.codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE)
            continue;
        if (id == AV_CODEC_ID_DVB_TELETEXT) {
            // Teletext pages are decoded as text, when this FFmpeg has the decoder.
            if (avcodec_find_decoder(id))
                addTeletextPages(stream, static_cast<int>(i), captions);
            continue;
        }
        if (!isTextCaption(id) && !isPictureCaption(id))
            continue;
        ContainerCaption caption;
        caption.info.index = static_cast<int>(i);
        caption.info.language = languageOf(stream);
        caption.info.picture = isPictureCaption(id);
        caption.flaggedDefault = (stream.disposition & AV_DISPOSITION_DEFAULT) != 0;
        captions.push_back(std::move(caption));
    }
    return captions;
}

}

CaptionStreamInfo chooseCaptionStream(const AVFormatContext& format, LogBitmapStreams logBitmap,
    const std::vector<CaptionStreamInfo>& tvStreams)
{
    const std::vector<ContainerCaption> captions = containerCaptions(format);
    const ContainerCaption* first = nullptr;
    const ContainerCaption* flaggedDefault = nullptr;
    const ContainerCaption* koreanText = nullptr;
    const ContainerCaption* koreanPicture = nullptr;
    for (const ContainerCaption& caption : captions) {
        if (!first)
            first = &caption;
        if (!flaggedDefault && caption.flaggedDefault)
            flaggedDefault = &caption;
        const ContainerCaption*& korean = caption.info.picture ? koreanPicture : koreanText;
        if (!korean && isKorean(caption.info.language))
            korean = &caption;
    }
    auto koreanTv = std::find_if(tvStreams.begin(), tvStreams.end(), [](const CaptionStreamInfo& info) {
        return info.index > cea708StreamBase && isKorean(info.language);
    });
    if (!koreanText && koreanTv != tvStreams.end())
        return *koreanTv;
    const ContainerCaption* chosen = koreanText ? koreanText
        : koreanPicture                         ? koreanPicture
        : flaggedDefault                        ? flaggedDefault
                                                : first;
    if (!chosen)
        return tvStreams.empty() ? CaptionStreamInfo {} : tvStreams.front();
    CaptionStreamInfo info = chosen->info;
    if (info.picture && logBitmap == LogBitmapStreams::Yes)
        platformLog("mmstream: picture caption stream %d (%s)\n", info.index,
            avcodec_get_name(format.streams[info.index]->codecpar->codec_id));
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
    for (ContainerCaption& caption : containerCaptions(format)) {
        if (caption.info.index < static_cast<int>(format.nb_streams))
            caption.info.style = authoredStyleOf(*format.streams[caption.info.index], fonts);
        list.push_back(std::move(caption.info));
    }
    return list;
}

int containerStreamOf(int captionIndex)
{
    return captionIndex >= teletextStreamBase ? (captionIndex - teletextStreamBase) / 1000 : captionIndex;
}

int teletextPageOf(int captionIndex)
{
    return captionIndex >= teletextStreamBase ? (captionIndex - teletextStreamBase) % 1000 : 0;
}

std::string captionStreamName(int index)
{
    if (std::string tv = tvCaptionName(index); !tv.empty())
        return tv;
    if (index >= teletextStreamBase)
        return "teletext " + std::to_string(teletextPageOf(index));
    return "stream " + std::to_string(index);
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

bool CaptionDecoder::open(const AVStream& stream, MediaTime startOffset, int teletextPage)
{
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    CodecContextHandle codec(decoder ? avcodec_alloc_context3(decoder) : nullptr);
    if (!codec || avcodec_parameters_to_context(codec.get(), stream.codecpar) < 0) {
        platformLog("mmstream: caption stream %d has no decoder\n", stream.index);
        return false;
    }
    codec->pkt_timebase = stream.time_base;
    AVDictionary* options = nullptr;
    teletext_ = stream.codecpar->codec_id == AV_CODEC_ID_DVB_TELETEXT;
    if (teletext_) {
        av_dict_set(&options, "txt_format", "text", 0);
        av_dict_set(&options, "txt_page", teletextPage ? std::to_string(teletextPage).c_str() : "subtitle", 0);
    }
    int rc = avcodec_open2(codec.get(), decoder, &options);
    av_dict_free(&options);
    if (rc < 0) {
        platformLog("mmstream: caption decoder %s cannot start (%s)\n", decoder->name, errorText(rc).c_str());
        return false;
    }
    codec_ = std::move(codec);
    timeBase_ = stream.time_base;
    startOffset_ = startOffset;
    return true;
}

void CaptionDecoder::dropped(const std::string& line)
{
    if (loggedDrops_++ < loggedCaptionDrops)
        platformLog("mmstream: %s\n", line.c_str());
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
        dropped("a caption packet without a time stamp dropped");
        return;
    }
    AVSubtitle subtitle {};
    int got = 0;
    MediaTime base = toMediaTime(ts, timeBase_) - startOffset_;
    std::optional<CaptionDrop> unclaimed;
    const int rc = decodeCaptionPacket(*codec_, packet, subtitle, got, base, bitmapDrops_, unclaimed);
    if (unclaimed)
        dropped(captionDropLine(*unclaimed));
    if (rc < 0) {
        if (bitmapDrops_.reasons.empty())
            bitmapDrops_.reasons.push_back(errorText(rc));
        if (std::optional<CaptionDrop> drop = captionDrop(base, true, bitmapDrops_))
            dropped(captionDropLine(*drop));
        return;
    }
    if (!got)
        return;
    MediaTime start = base + std::chrono::milliseconds(subtitle.start_display_time);
    if (subtitle.format == 0) {
        if (CaptionPictureHandle picture = pictureOfSubtitle(subtitle, *codec_, start,
                pictureEnd(subtitle, packet.duration, timeBase_, base), bitmapDrops_)) {
            if (std::optional<CaptionDrop> drop = captionDrop(start, picture->bitmaps.empty(), bitmapDrops_))
                dropped(captionDropLine(*drop));
            pictures.push_back(std::move(picture));
        }
        avsubtitle_free(&subtitle);
        return;
    }
    // A text caption's decoder has nothing to say about pictures.
    bitmapDrops_.reasons.clear();
    bitmapDrops_.reasonsFrom.reset();
    if (teletext_) {
        // The page shown until now ends here; the new one shows until the next one comes.
        for (CaptionText& shown : teletextShown_) {
            shown.end = start;
            if (shown.end > shown.start)
                texts.push_back(shown);
        }
        teletextShown_.clear();
        for (unsigned i = 0; i < subtitle.num_rects; ++i) {
            const AVSubtitleRect& rect = *subtitle.rects[i];
            const bool ass = rect.type == SUBTITLE_ASS && rect.ass;
            const char* text = ass ? rect.ass : rect.type == SUBTITLE_TEXT ? rect.text : nullptr;
            if (!text || !*text)
                continue;
            teletextShown_.push_back({start, start + unknownTeletextLength, text, ass, -1, static_cast<int>(i)});
            texts.push_back(teletextShown_.back());
        }
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
        dropped(captionDropLine({ start, true, "it ends before it starts" }));
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

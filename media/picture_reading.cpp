#include "media/picture_reading.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_sync.h"
#include "caption/picture_caption.h"
#include "media/caption_choice.h"
#include "display/notice.h"
#include "media/media_stream.h"

namespace sublumen {

namespace {

constexpr const char* unreadableNotice = "그림 자막을 글자로 읽을 수 없음";

void follow(System& sys, Caption& track, uint32_t time)
{
    PictureCaption& pictures = *track.pictures;
    if (pictures.stream >= 0 && !pictures.scan && sys.movie.currentItem.movie[0])
        pictures.scan = std::make_unique<platform::PictureStreamScan>(sys.movie.currentItem.movie, pictures.stream, time);
    if (pictures.scan) {
        pictures.scan->setPosition(time);
        std::vector<platform::CaptionPictureHandle> found;
        pictures.scan->takePictures(found);
        if (!found.empty())
            track.addPictures(std::move(found));
    }

    MovieState& movie = sys.movie;
    if (!pictures.reading) {
        if (!movie.captionReader)
            movie.captionReader = std::make_unique<platform::CaptionTextReader>(platform::CaptionTextReader::defaultCacheFile());
        pictures.reading = movie.captionReader->addTrack(pictures.language);
    }
    platform::CaptionReadingTrack& reading = *pictures.reading;
    std::vector<std::pair<uint32_t, platform::CaptionPictureHandle>> unread;
    for (uint32_t start : pictures.takeUnread())
        unread.emplace_back(start, pictures.entryAt(start)->picture);
    if (!unread.empty())
        reading.submit(std::move(unread));
    reading.setPosition(time);
    for (platform::ReadCaptionText& read : reading.takeTexts())
        track.setPictureText(read.start, *read.picture, std::move(read.text));

    std::string why;
    if (!movie.pictureReadingFailed && reading.unreadable(&why)) {
        movie.pictureReadingFailed = true;
        showNotice(sys, unreadableNotice, 3);
        debugLog("Picture captions cannot be read as text (%s); they are shown as pictures.\n", why.c_str());
    }
}

}

void followPictureReading(System& sys)
{
    MediaStream* stream = sys.movie.currentStream.get();
    if (!stream)
        return;
    const uint32_t now = stream->currentTime();
    if (Caption* first = sys.movie.currentCaption.get(); first && first->pictures)
        follow(sys, *first, captionTime(now, sys.movie.currentItem.timeshift, sys.movie.captionRate, sys.movie.syncPieces));
    if (Caption* second = sys.movie.secondCaption.get(); second && second->pictures)
        follow(sys, *second, secondCaptionTime(sys, now));
}

}

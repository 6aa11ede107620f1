// The text track of picture captions: one cue per caption, from its start until it is cleared or
// replaced, saying what was read from it ("" until it is read), so that every caption tool works on
// picture captions as on any other track.
#include "caption/caption.h"

#include "caption/picture_caption.h"
#include "caption/text_cues.h"

#include <algorithm>

namespace sublumen {

void Caption::beginPictureTrack(std::unique_ptr<PictureCaption> captions)
{
    beginCueTrack();
    pictures = std::move(captions);
    if (pictures && !pictures->entries().empty())
        replaceCues(0, endMarker - 1, pictureCues(0, endMarker - 1));
}

std::vector<TextCue> Caption::pictureCues(uint32_t low, uint32_t high) const
{
    std::vector<TextCue> cues;
    if (!pictures)
        return cues;
    const auto& entries = pictures->entries();
    auto at = std::lower_bound(
        entries.begin(), entries.end(), low, [](const PictureCaption::Entry& e, uint32_t t) { return e.start < t; });
    for (; at != entries.end() && at->start <= high; ++at) {
        // A caption without bitmaps clears the screen: it shows nothing.
        if (at->picture->bitmaps.empty())
            continue;
        uint32_t end = at->end;
        if (std::next(at) != entries.end())
            end = std::min(end, std::next(at)->start);
        cues.push_back({ at->start, end, at->text.value_or("") });
    }
    return cues;
}

std::vector<uint32_t> Caption::addPictures(std::vector<platform::CaptionPictureHandle> captions)
{
    if (!pictures)
        return {};
    std::vector<uint32_t> changed = pictures->addPictures(std::move(captions));
    if (changed.empty())
        return changed;
    // The caption before the first one added may now end where that one starts.
    const auto& entries = pictures->entries();
    uint32_t low = changed.front();
    auto first = std::lower_bound(
        entries.begin(), entries.end(), low, [](const PictureCaption::Entry& e, uint32_t t) { return e.start < t; });
    if (first != entries.begin())
        low = std::prev(first)->start;
    replaceCues(low, changed.back(), pictureCues(low, changed.back()));
    return changed;
}

bool Caption::setPictureText(uint32_t start, const platform::CaptionPicture& picture, std::string text)
{
    if (!pictures || !pictures->setText(start, picture, std::move(text)))
        return false;
    replaceCues(start, start, pictureCues(start, start));
    return true;
}

}

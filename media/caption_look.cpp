#include "media/caption_look.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"

namespace sublumen {

bool hasAuthoredCaptions(const System& sys)
{
    const Caption* caption = sys.movie.currentCaption.get();
    return caption && (caption->authored || caption->pictures);
}

bool authoredCaptionsShown(const System& sys)
{
    if (!hasAuthoredCaptions(sys))
        return false;
    auto field = sys.movie.memoryFields.find(captionLookField);
    return field == sys.movie.memoryFields.end() || field->second != ourCaptionLook;
}

void switchCaptionLook(System& sys)
{
    if (!hasAuthoredCaptions(sys)) {
        debugLog("Caption look: these captions have no styling of their own; our style stays.\n");
        return;
    }
    if (authoredCaptionsShown(sys)) {
        sys.movie.memoryFields[captionLookField] = ourCaptionLook;
        debugLog("Caption look: our caption style.\n");
    } else {
        sys.movie.memoryFields.erase(captionLookField);
        debugLog("Caption look: as authored.\n");
    }
}

const char* captionLookName(const System& sys)
{
    if (!hasAuthoredCaptions(sys))
        return "";
    return authoredCaptionsShown(sys) ? "원본" : "자체";
}

}

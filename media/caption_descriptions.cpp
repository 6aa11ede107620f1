#include "media/caption_descriptions.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "display/notice.h"

namespace sublumen {

SoundDescriptions shownDescriptions(const System& sys)
{
    auto field = sys.movie.memoryFields.find(descriptionsField);
    return field != sys.movie.memoryFields.end() && field->second == descriptionsHidden ? SoundDescriptions::Hidden
                                                                                           : SoundDescriptions::Shown;
}

void switchSoundDescriptions(System& sys)
{
    if (shownDescriptions(sys) == SoundDescriptions::Shown) {
        sys.movie.memoryFields[descriptionsField] = descriptionsHidden;
        debugLog("Captions : sound descriptions hidden.\n");
        showNotice(sys, "설명 자막 숨김", 3);
    } else {
        sys.movie.memoryFields.erase(descriptionsField);
        debugLog("Captions : sound descriptions shown.\n");
        showNotice(sys, "설명 자막 보임", 3);
    }
}

}

#include "media/caption_descriptions.h"

#include "app/debug_log.h"
#include "app/system.h"

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
    } else {
        sys.movie.memoryFields.erase(descriptionsField);
        debugLog("Captions : sound descriptions shown.\n");
    }
}

}

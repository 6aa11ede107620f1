#include "app/system.h"

namespace sublumen {

const char* const fontFaceTable[4] = { "굴림체", "궁서체", "돋움체", "바탕체" };

}

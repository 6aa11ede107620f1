#include "platform/mmstream/ffmpeg_support.h"

namespace platform {

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof text);
    return text;
}

}

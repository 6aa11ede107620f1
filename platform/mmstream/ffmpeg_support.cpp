#include "platform/mmstream/ffmpeg_support.h"

#include "platform/kernel.h"

#include <cstdarg>
#include <mutex>

namespace platform {

namespace {

// Warnings about single damaged packets would flood the log.
void forwardLibraryLog(void* object, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[1024];
    int prefix = 1;
    av_log_format_line2(object, level, format, args, line, sizeof line, &prefix);
    platformLog("ffmpeg: %s", line);
}

}

void routeLibraryLog()
{
    static std::once_flag routed;
    std::call_once(routed, [] { av_log_set_callback(&forwardLibraryLog); });
}

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof text);
    return text;
}

}

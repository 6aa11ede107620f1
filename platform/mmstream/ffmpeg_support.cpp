#include "platform/mmstream/ffmpeg_support.h"

#include "platform/kernel.h"

#include <cstdarg>
#include <mutex>

namespace platform {

namespace {

thread_local std::vector<std::string>* capturedLines = nullptr;

// Warnings about single damaged packets would flood the log.
void forwardLibraryLog(void* object, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[1024];
    if (capturedLines) {
        int noPrefix = 0;
        av_log_format_line2(nullptr, level, format, args, line, sizeof line, &noPrefix);
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
            text.pop_back();
        if (!text.empty())
            capturedLines->push_back(std::move(text));
        return;
    }
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

LibraryLogCapture::LibraryLogCapture(std::vector<std::string>& lines)
    : previous_(capturedLines)
{
    capturedLines = &lines;
}

LibraryLogCapture::~LibraryLogCapture()
{
    capturedLines = previous_;
}

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof text);
    return text;
}

}

#include "platform/frame_trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform {

namespace {

struct TraceFile {
    std::FILE* file = nullptr;
    std::mutex mutex;
    TraceFile()
    {
        const char* path = std::getenv("SUBLUMEN_FRAME_TRACE");
        if (path && *path)
            file = std::fopen(path, "a");
    }
    ~TraceFile()
    {
        if (file)
            std::fclose(file);
    }
};

TraceFile& traceFile()
{
    static TraceFile trace;
    return trace;
}

long long wallMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}

bool frameTraceOn()
{
    return traceFile().file != nullptr;
}

void traceFrameEvent(char kind, int64_t value, const char* cause)
{
    TraceFile& trace = traceFile();
    if (!trace.file)
        return;
    long long now = wallMicros();
    std::lock_guard lock(trace.mutex);
    if (cause)
        std::fprintf(trace.file, "%c %lld %lld %s\n", kind, now, static_cast<long long>(value), cause);
    else
        std::fprintf(trace.file, "%c %lld %lld\n", kind, now, static_cast<long long>(value));
    std::fflush(trace.file);
}

void traceFrameDelivery(int64_t start, int64_t clock)
{
    TraceFile& trace = traceFile();
    if (!trace.file)
        return;
    long long now = wallMicros();
    std::lock_guard lock(trace.mutex);
    std::fprintf(trace.file, "D %lld %lld %lld\n", now, static_cast<long long>(start),
        static_cast<long long>(clock));
    std::fflush(trace.file);
}

}

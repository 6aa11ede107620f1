#include "platform/mmstream/movie_suffixes.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstring>
#include <strings.h>

namespace platform {

namespace {

constexpr const char* commonMovies[] = { "avi", "mkv", "mp4", "m4v", "mov", "wmv", "asf", "webm", "mpg", "mpeg",
    "ts", "m2ts", "vob", "ogv", "ogm", "ogg", "flv", "3gp", "divx", "rmvb", "rm" };
// Sound alone plays on black with its captions (songs with lyrics); a movie of the same name comes first.
constexpr const char* commonSounds[] = { "mp3", "m4a", "aac", "flac", "opus", "oga", "wav", "wma", "mka", "ac3",
    "mp2", "ape", "wv" };

// Names the demuxers list that are captions or plain text, not movies.
constexpr const char* notMovies[] = { "smi", "sami", "sub", "srt", "ass", "ssa", "vtt", "txt", "idx", "sup", "lrc",
    "rt", "stl", "ttml", "xml", "json", "jss", "pjs", "mpl2", "aqt", "usf", "scc", "mcc", "vobsub", "slm", "ml" };

bool inList(const char* list, const char* suffix)
{
    // The demuxers' lists are comma-separated names.
    const size_t length = std::strlen(suffix);
    for (const char* p = list; p && *p;) {
        const char* end = std::strchr(p, ',');
        const size_t n = end ? static_cast<size_t>(end - p) : std::strlen(p);
        if (n == length && strncasecmp(p, suffix, n) == 0)
            return true;
        p = end ? end + 1 : nullptr;
    }
    return false;
}

bool knownToDemuxers(const char* suffix)
{
    void* state = nullptr;
    while (const AVInputFormat* format = av_demuxer_iterate(&state))
        if (inList(format->extensions, suffix))
            return true;
    return false;
}

}

int movieSuffixRank(const char* suffix)
{
    if (!suffix || !*suffix)
        return 0;
    for (const char* text : notMovies)
        if (strcasecmp(text, suffix) == 0)
            return 0;
    // The common containers are found by probing; several of their demuxers list no suffix at all.
    int rank = 1;
    for (const char* common : commonMovies) {
        if (strcasecmp(common, suffix) == 0)
            return rank;
        ++rank;
    }
    for (const char* sound : commonSounds) {
        if (strcasecmp(sound, suffix) == 0)
            return rank;
        ++rank;
    }
    const AVInputFormat* images = av_find_input_format("image2");
    if (images && inList(images->extensions, suffix))
        return 0;
    return knownToDemuxers(suffix) ? rank : 0;
}

}

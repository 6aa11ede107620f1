#include "caption/caption_formats.h"

#include "caption/caption.h"

#include <cassert>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sublumen {

namespace {

// The text after a byte-order mark and leading blanks.
std::string_view contentStart(std::string_view head)
{
    if (head.starts_with("\xEF\xBB\xBF"))
        head.remove_prefix(3);
    const size_t first = head.find_first_not_of(" \t\r\n");
    return first == std::string_view::npos ? std::string_view() : head.substr(first);
}

bool startsAsWebVtt(const char*, std::string_view head)
{
    return contentStart(head).starts_with("WEBVTT");
}

bool startsAsAss(const char*, std::string_view head)
{
    const std::string_view text = contentStart(head);
    return text.size() >= 13 && strncasecmp(text.data(), "[Script Info]", 13) == 0;
}

// A number line followed by a time line.
bool startsAsSubRip(const char*, std::string_view head)
{
    const std::string_view text = contentStart(head);
    const size_t digits = text.find_first_not_of("0123456789");
    if (digits == 0 || digits == std::string_view::npos)
        return false;
    std::string_view rest = text.substr(digits);
    rest.remove_prefix(std::min(rest.find_first_not_of(" \t\r"), rest.size()));
    if (!rest.starts_with("\n"))
        return false;
    return rest.substr(1, rest.find('\n', 1)).find("-->") != std::string_view::npos;
}

bool isRegularFile(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A .sub of VobSub pictures: an .idx beside it (in either case, as a folder copied from a disc often
// writes its names in capitals), or it starts as an MPEG program stream (a pack header, 00 00 01 BA).
bool holdsVobSub(const char* fileName, std::string_view head)
{
    const std::string stem(fileName, std::strlen(fileName) - 4);
    return isRegularFile(stem + ".idx") || isRegularFile(stem + ".IDX")
        || head.starts_with(std::string_view("\0\0\1\xBA", 4));
}

const std::vector<CaptionFormatRow> table = {
    { CaptionFormat::Sami, "SAMI", { ".smi", ".sami" }, LookedFor::First, nullptr, CaptionFormat::Sami,
        &Caption::loadSMI, &retimeSami, false, false },
    { CaptionFormat::Sub, "SUB", { ".sub" }, LookedFor::First, nullptr, CaptionFormat::Sub, &Caption::loadSub, &retimeSub,
        false, false },
    { CaptionFormat::AsfScript, "ASF script", { ".asf" }, LookedFor::Never, nullptr, CaptionFormat::AsfScript,
        &Caption::loadASFscript, nullptr, false, false },
    { CaptionFormat::SubRip, "SubRip", { ".srt" }, LookedFor::AsText, startsAsSubRip, CaptionFormat::Sami,
        &Caption::loadTextCaptions, &retimeSubRip, false, false },
    { CaptionFormat::WebVtt, "WebVTT", { ".vtt" }, LookedFor::AsText, startsAsWebVtt, CaptionFormat::Sami,
        &Caption::loadTextCaptions, &retimeWebVtt, false, false },
    { CaptionFormat::Ass, "SSA/ASS", { ".ass", ".ssa" }, LookedFor::AsText, startsAsAss, CaptionFormat::Sami,
        &Caption::loadTextCaptions, &retimeSsa, false, true },
    { CaptionFormat::Sup, "PGS", { ".sup" }, LookedFor::AsPicture, nullptr, CaptionFormat::Sup, nullptr, nullptr,
        true, false },
    // A pair: the .idx names it, and its .sub carries the pictures.
    { CaptionFormat::VobSub, "VobSub", { ".idx" }, LookedFor::AsPicture, holdsVobSub, CaptionFormat::Sub, nullptr,
        nullptr, true, false },
};

bool endsWith(const char* fileName, const char* suffix)
{
    const size_t length = std::strlen(fileName);
    const size_t n = std::strlen(suffix);
    return length >= n && strcasecmp(fileName + length - n, suffix) == 0;
}

// The first bytes of a regular file; empty for anything else (a pipe or a device could be read forever).
std::string headOf(const char* fileName)
{
    const int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "";
    struct stat info;
    char head[512];
    const ssize_t n = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? ::read(fd, head, sizeof head) : -1;
    ::close(fd);
    return n > 0 ? std::string(head, static_cast<size_t>(n)) : std::string();
}

}

std::span<const CaptionFormatRow> captionFormats()
{
    return table;
}

const CaptionFormatRow& captionFormatRow(CaptionFormat format)
{
    for (const CaptionFormatRow& row : table)
        if (row.format == format)
            return row;
    assert(!"every format has a row");
    return table.front();
}

const CaptionFormatRow* captionFormatOfName(const char* fileName)
{
    if (!fileName)
        return nullptr;
    for (const CaptionFormatRow& row : table)
        for (const char* suffix : row.suffixes)
            if (endsWith(fileName, suffix))
                return &row;
    return nullptr;
}

const CaptionFormatRow& captionFormatOfFile(const char* fileName)
{
    const CaptionFormatRow* named = captionFormatOfName(fileName);
    // SAMI's reader takes every name no other reader claims.
    const CaptionFormat namedAs = named ? named->format : CaptionFormat::Sami;
    std::string head;
    bool headRead = false;
    for (const CaptionFormatRow& row : table) {
        if (!row.recognise || row.namedAs != namedAs)
            continue;
        if (!headRead) {
            head = headOf(fileName);
            headRead = true;
        }
        if (row.recognise(fileName, head))
            return row;
    }
    return captionFormatRow(namedAs);
}

const CaptionFormatRow& textCaptionFormat(const char* fileName, std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && text.size() - first >= 5 && strncasecmp(text.data() + first, "<SAMI", 5) == 0)
        return captionFormatRow(CaptionFormat::Sami);
    const CaptionFormatRow* named = captionFormatOfName(fileName);
    const CaptionFormatRow* content = textFormatOfContent(text);
    if (named && named->read == &Caption::loadTextCaptions
        && !(content && content->format == CaptionFormat::WebVtt && named != content))
        return *named;
    return content ? *content : captionFormatRow(CaptionFormat::SubRip);
}

const CaptionFormatRow& captionFormatOfText(const char* fileName, std::string_view text)
{
    const CaptionFormatRow& file = captionFormatOfFile(fileName);
    return file.read == &Caption::loadTextCaptions ? textCaptionFormat(fileName, text) : file;
}

const CaptionFormatRow* textFormatOfContent(std::string_view head)
{
    for (const CaptionFormatRow& row : table)
        if (row.recognise && row.namedAs == CaptionFormat::Sami && row.recognise("", head))
            return &row;
    return nullptr;
}

std::vector<const char*> captionSuffixes(LookedFor group)
{
    std::vector<const char*> suffixes;
    for (const CaptionFormatRow& row : table)
        if (row.lookedFor == group)
            suffixes.insert(suffixes.end(), row.suffixes.begin(), row.suffixes.end());
    return suffixes;
}

bool isCaptionFileName(const char* fileName)
{
    const CaptionFormatRow* row = captionFormatOfName(fileName);
    return row && row->lookedFor != LookedFor::Never;
}

bool isTextCaptionName(const char* fileName)
{
    const CaptionFormatRow* row = captionFormatOfName(fileName);
    return row && row->lookedFor == LookedFor::AsText;
}

std::string captionFilePatterns()
{
    std::string lower, upper;
    for (LookedFor group : { LookedFor::First, LookedFor::AsText, LookedFor::AsPicture })
        for (const char* suffix : captionSuffixes(group)) {
            lower += std::string(lower.empty() ? "*" : ";*") + suffix;
            std::string capitals = suffix;
            for (char& c : capitals)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            upper += ";*" + capitals;
        }
    return lower + upper;
}

}

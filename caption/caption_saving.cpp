#include "caption/caption_saving.h"

#include "caption/caption.h"
#include "caption/caption_formats.h"
#include "caption/node_list.h"
#include "platform/file_saving.h"
#include "platform/gdi/text_decoding.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace sublumen {

namespace {

std::string fileNameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

CaptionSaving failedSave(const std::string& path, std::string failure, std::string detail)
{
    CaptionSaving saving;
    saving.path = path;
    saving.failure = std::move(failure);
    saving.detail = std::move(detail);
    return saving;
}

CaptionSaving savedOrNot(const std::string& path, const platform::FileSave& save)
{
    if (save.error == platform::FileSaveError::None) {
        CaptionSaving saving;
        saving.saved = true;
        saving.path = path;
        return saving;
    }
    const std::string name = fileNameOf(path);
    const std::string reason = save.errnum ? std::strerror(save.errnum) : "";
    switch (save.error) {
    case platform::FileSaveError::NotPermitted:
        return failedSave(path, "폴더에 쓸 수 없음", "the folder cannot be written: " + reason);
    case platform::FileSaveError::NoSpace:
        return failedSave(path, "디스크 공간 부족", "the disk is full: " + reason);
    case platform::FileSaveError::Exists:
        return failedSave(path, name + " 파일이 이미 있음", "a file of that name is there already");
    case platform::FileSaveError::OriginalNotFile:
        return failedSave(path, name + originalCaptionSuffix + " 파일을 만들 수 없음",
            std::string("its original's name ") + originalCaptionSuffix + " is taken by something not a file");
    case platform::FileSaveError::Io:
    case platform::FileSaveError::None:
        break;
    }
    return failedSave(path, "쓰기 오류", "writing failed: " + reason);
}

// UTF-8 text as UTF-16 with its byte-order mark, in the byte order of the file it came from.
std::string utf16Of(std::string_view utf8, platform::TextEncoding encoding)
{
    const bool little = encoding == platform::TextEncoding::Utf16LE;
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    auto unit = [&](uint32_t u) {
        const char high = static_cast<char>(u >> 8);
        const char low = static_cast<char>(u & 0xFF);
        out += little ? low : high;
        out += little ? high : low;
    };
    for (char32_t c : platform::decodeText(utf8, platform::TextEncoding::Utf8)) {
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

// Whether the track read from the file now is the one shown: the same entries in the same order.
bool sameEntries(const Caption& a, const Caption& b)
{
    const ListNode* x = a.entries;
    const ListNode* y = b.entries;
    for (; x && y; x = x->next, y = y->next) {
        const auto* ex = static_cast<const CaptionEntry*>(x->data);
        const auto* ey = static_cast<const CaptionEntry*>(y->data);
        if (ex->start != ey->start || std::strcmp(ex->text, ey->text) != 0)
            return false;
    }
    return !x && !y;
}

}

CaptionTimeMove captionTimeMove(int32_t shift, double rate, const SyncPieces& pieces, int32_t keptShift)
{
    return [=](int64_t captionTime) -> int64_t {
        if (captionTime < 0 || captionTime >= static_cast<int64_t>(endMarker))
            return captionTime;
        const int64_t shown = streamTimeOfCaption(static_cast<uint32_t>(captionTime), shift, rate, pieces);
        return std::clamp<int64_t>(shown + keptShift, 0, static_cast<int64_t>(endMarker) - 1);
    };
}

CaptionSaving saveCaptionFile(const std::string& path, const Caption& shown, const CaptionTimeMove& move)
{
    // A link is followed: the file it names is the one written, and the link stays.
    char resolved[PATH_MAX];
    const std::string target = realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    std::string before;
    if (!platform::readWholeFile(target, before))
        return failedSave(
            target, "자막 파일을 읽을 수 없음", std::string("it cannot be read: ") + std::strerror(errno));
    // Read as the player reads it, the file must give what is shown, or the sync would land on captions it
    // was not made for.
    Caption now(target.c_str());
    std::string after;
    if (now.loadResult < 0 || !sameEntries(now, shown) || !platform::readWholeFile(target, after) || after != before)
        return failedSave(target, "자막 파일이 바뀜", "it changed on the disk since it was loaded");

    platform::DecidedText decided = platform::decideFileEncoding(before);
    const platform::TextEncoding encoding = decided.encoding;
    const bool utf16 = encoding == platform::TextEncoding::Utf16LE || encoding == platform::TextEncoding::Utf16BE;
    const size_t mark = encoding == platform::TextEncoding::Utf8Bom ? 3 : 0;
    // UTF-16 is written from its UTF-8 form; every other encoding keeps its own bytes.
    const std::string_view text = utf16 ? std::string_view(decided.bytes) : std::string_view(before).substr(mark);
    const CaptionRetimer retime = captionFormatOfText(target.c_str(), text).retime;
    if (!retime)
        return failedSave(target, "이 형식은 저장할 수 없음", "its format cannot be written");
    const std::string moved = retime(text, move);
    if (moved == text) {
        CaptionSaving saving;
        saving.saved = true;
        saving.path = target;
        saving.detail = "no time moves";
        return saving;
    }
    const std::string bytes = utf16 ? utf16Of(moved, encoding) : before.substr(0, mark) + moved;
    return savedOrNot(target, platform::replaceFileKeepingOriginal(target, bytes, originalCaptionSuffix));
}

CaptionSaving saveCuesAsSubRip(const std::string& path, std::vector<TextCue> cues, const CaptionTimeMove& move)
{
    for (TextCue& cue : cues) {
        cue.start = static_cast<uint32_t>(move(cue.start));
        cue.end = static_cast<uint32_t>(move(cue.end));
    }
    const std::string text = subRipOfCues(std::move(cues));
    if (text.empty())
        return failedSave(path, "저장할 자막 없음", "there are no captions to save");
    return savedOrNot(path, platform::writeNewFile(path, text));
}

std::string subRipPathFor(const std::string& moviePath, const std::string& language)
{
    const size_t slash = moviePath.rfind('/');
    const size_t dot = moviePath.rfind('.');
    std::string base = dot != std::string::npos && (slash == std::string::npos || dot > slash)
        ? moviePath.substr(0, dot)
        : moviePath;
    // A language tag goes into the name only as letters, digits and hyphens.
    std::string lang;
    for (char c : language) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')
            lang += c;
    }
    if (!lang.empty() && lang != "und")
        base += "." + lang;
    return base + ".srt";
}

}

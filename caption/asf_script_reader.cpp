#include "caption/asf_script_reader.h"

#include "app/debug_log.h"
#include "caption/caption.h"
#include "caption/caption_text.h"
#include "platform/codepage.h"

#include <cstring>
#include <memory>
#include <vector>

namespace sublumen {

namespace {

// Script commands are presented this much before their stated time.
constexpr uint32_t scriptLead = 3100;

constexpr size_t windowSize = 14;
constexpr size_t earlierSize = 6;

constexpr unsigned char lowerText[8] = { 't', 0, 'e', 0, 'x', 0, 't', 0 };
constexpr unsigned char upperText[8] = { 'T', 0, 'E', 0, 'X', 0, 'T', 0 };
constexpr unsigned char captionName[14] = { 'C', 0, 'A', 0, 'P', 0, 'T', 0, 'I', 0, 'O', 0, 'N', 0 };
constexpr unsigned char stopPattern[8] = { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF };

enum class WindowMatch {
    None,
    TextType,
    Stop,
};

WindowMatch compareWindow(const unsigned char* window)
{
    if (std::memcmp(window, lowerText, sizeof lowerText) == 0 || std::memcmp(window, upperText, sizeof upperText) == 0
        || std::memcmp(window, captionName, sizeof captionName) == 0)
        return WindowMatch::TextType;
    if (std::memcmp(window, stopPattern, sizeof stopPattern) == 0)
        return WindowMatch::Stop;
    return WindowMatch::None;
}

uint16_t littleEndian16(const unsigned char* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

// Reads a little-endian 16-bit value; false at the end of the file.
bool readWord(FILE* file, uint16_t& value)
{
    unsigned char bytes[2];
    if (std::fread(bytes, 1, 2, file) != 2)
        return false;
    value = littleEndian16(bytes);
    return true;
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// The UTF-8 form of units up to the first NUL unit, cut at the end of the last whole character that fits
// in limit bytes with its terminator. A surrogate pair is never split.
void convertScriptText(const WCHAR* units, int count, char* output, int limit)
{
    int n = 0;
    while (n < count && units[n] != 0)
        ++n;
    auto bytesFor = [&](int unitCount) {
        return unitCount == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, units, unitCount, nullptr, 0, nullptr, nullptr);
    };
    if (bytesFor(n) > limit - 1) {
        // The converted length grows with every unit, so the longest prefix that fits is found by halving.
        int low = 0;
        int high = n;
        while (low < high) {
            int middle = (low + high + 1) / 2;
            if (bytesFor(middle) <= limit - 1)
                low = middle;
            else
                high = middle - 1;
        }
        n = low;
        if (n > 0 && units[n - 1] >= 0xD800 && units[n - 1] <= 0xDBFF && units[n] >= 0xDC00 && units[n] <= 0xDFFF)
            --n;
    }
    int written = n == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, units, n, output, limit - 1, nullptr, nullptr);
    output[written] = '\0';
}

}

int findTextScript(FILE* file)
{
    // The scan looks at every 14-byte window of the file in turn, with the 6 bytes before it (zero before
    // the file's first byte). It reads in large blocks because the file may be a whole movie; buffer[0]
    // holds the byte at file offset bufferOffset.
    constexpr size_t blockSize = 1 << 16;
    constexpr size_t carry = earlierSize + windowSize - 1;
    std::vector<unsigned char> buffer(carry + blockSize, 0);
    size_t filled = earlierSize;
    long long bufferOffset = -static_cast<long long>(earlierSize);

    for (;;) {
        size_t wanted = buffer.size() - filled;
        size_t got = std::fread(buffer.data() + filled, 1, wanted, file);
        filled += got;
        size_t at = earlierSize;
        for (; at + windowSize <= filled; ++at) {
            WindowMatch match = compareWindow(buffer.data() + at);
            if (match == WindowMatch::Stop)
                return -2;
            if (match == WindowMatch::None)
                continue;

            const unsigned char* earlier = buffer.data() + at - earlierSize;
            uint16_t commandsCount = littleEndian16(earlier);
            uint16_t commandTypesCount = littleEndian16(earlier + 2);
            debugLog("Type String:%d\n", commandTypesCount);
            // Back to the first Command Type Name Length, two bytes before the matched name. A match in the
            // first two bytes of the file has both counts 0, so nothing more is read there.
            long long windowOffset = bufferOffset + static_cast<long long>(at);
            if (windowOffset >= 2 && std::fseek(file, static_cast<long>(windowOffset - 2), SEEK_SET) != 0)
                return -1;
            for (int type = 0; type < commandTypesCount; ++type) {
                uint16_t nameLength;
                if (!readWord(file, nameLength))
                    break;
                debugLog("TypeString %d:%d\n", type, nameLength);
                std::fseek(file, 2L * nameLength, SEEK_CUR);
            }
            return commandsCount;
        }
        if (got < wanted)
            return -1;  // the end of the file or a read error came before a match
        // Keep the bytes that the next windows still need: their 6 earlier bytes and their first 13.
        size_t drop = at - earlierSize;
        std::memmove(buffer.data(), buffer.data() + drop, filled - drop);
        filled -= drop;
        bufferOffset += static_cast<long long>(drop);
    }
}

uint32_t readScriptTime(FILE* file)
{
    unsigned char bytes[6] = {};
    if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes)
        return 0;
    uint32_t presentationTime = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8)
        | (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    // An early command is shown from the start rather than wrapping round to a time that never comes.
    return presentationTime > scriptLead ? presentationTime - scriptLead : 0;
}

int readScriptText(FILE* file, char* output)
{
    output[0] = '\0';
    uint16_t length;
    if (!readWord(file, length))
        return -1;
    int keep = length < scriptNameKeep ? length : scriptNameKeep;

    unsigned char bytes[2 * scriptNameKeep];
    size_t got = std::fread(bytes, 2, static_cast<size_t>(keep), file);
    WCHAR wide[scriptNameKeep + 1];
    for (size_t i = 0; i < got; ++i)
        wide[i] = littleEndian16(bytes + 2 * i);
    wide[got] = 0;
    convertScriptText(wide, static_cast<int>(got), output, scriptTextLimit);

    if (length > keep)
        std::fseek(file, 2L * (length - keep), SEEK_CUR);
    return keep;
}

int Caption::loadASFscript(const char* fileName)
{
    debugLog("Caption::loadASFscript( \"%s\" )\n", fileName);
    std::unique_ptr<FILE, FileCloser> file(std::fopen(fileName, "rb"));
    if (!file) {
        debugLog("ASFscript:: file open error.\n");
        return -1;
    }
    int commandsCount = findTextScript(file.get());
    if (commandsCount < 0) {
        debugLog("ASFscript:: No TEXT Script.\n");
        return -2;
    }
    debugLog("ASFscript:: %d scripts.\n", commandsCount);
    // The script is UTF-16 and is converted to the system's own code page, which is UTF-8.
    textEncoding = platform::TextEncoding::Utf8;

    char text[scriptTextBufferSize];
    for (int command = 0; command < commandsCount; ++command) {
        uint32_t start = readScriptTime(file.get());
        // A file cut short ends the commands where it ends; a name cut short keeps what is there.
        if (std::feof(file.get()) || std::ferror(file.get()))
            break;
        if (readScriptText(file.get(), text) < 0)
            break;
        filterCaptionText(text);
        appendEntry(start, text);
    }
    file.reset();

    appendEntry(endMarker, "");
    sortEntries();
    return 0;
}

}

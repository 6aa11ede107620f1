#include "platform/codepage.h"

#include <cstring>

namespace {

constexpr uint32_t replacementCharacter = 0xFFFD;

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

int utf8Length(uint32_t codePoint)
{
    if (codePoint < 0x80)
        return 1;
    if (codePoint < 0x800)
        return 2;
    if (codePoint < 0x10000)
        return 3;
    return 4;
}

void putUtf8(uint32_t codePoint, char* out)
{
    auto* o = reinterpret_cast<unsigned char*>(out);
    switch (utf8Length(codePoint)) {
    case 1:
        o[0] = static_cast<unsigned char>(codePoint);
        break;
    case 2:
        o[0] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
        o[1] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        break;
    case 3:
        o[0] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
        o[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        o[2] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        break;
    default:
        o[0] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
        o[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
        o[2] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        o[3] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        break;
    }
}

// Decodes one character at bytes[0..count): its code point (U+FFFD for an ill-formed sequence) and the
// bytes it takes. An ill-formed sequence takes its maximal valid prefix, at least one byte, so that a
// lead byte cut short does not swallow the character after it.
uint32_t decodeUtf8(const unsigned char* bytes, size_t count, size_t& used, bool& wellFormed)
{
    unsigned char lead = bytes[0];
    used = 1;
    wellFormed = false;
    if (lead < 0x80) {
        wellFormed = true;
        return lead;
    }
    size_t length;
    uint32_t codePoint;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;  // no overlong forms
        else if (lead == 0xED)
            high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return replacementCharacter;
    }
    for (size_t i = 1; i < length; ++i) {
        if (i >= count)
            return replacementCharacter;
        unsigned char b = bytes[i];
        if (b < low || b > high)
            return replacementCharacter;
        low = 0x80;
        high = 0xBF;
        codePoint = (codePoint << 6) | (b & 0x3F);
        used = i + 1;
    }
    wellFormed = true;
    return codePoint;
}

bool supported(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

}

int WideCharToMultiByte(UINT codePage, DWORD, const WCHAR* wide, int wideCount, char* multi, int multiSize,
    const char*, BOOL* usedDefaultChar)
{
    if (!supported(codePage) || !wide || wideCount == 0 || wideCount < -1 || multiSize < 0 || (multiSize > 0 && !multi))
        return 0;
    if (usedDefaultChar)
        *usedDefaultChar = FALSE;
    if (wideCount == -1) {
        wideCount = 1;
        while (wide[wideCount - 1] != 0)
            ++wideCount;
    }

    int written = 0;
    for (int i = 0; i < wideCount; ++i) {
        uint32_t codePoint = wide[i];
        if (isHighSurrogate(codePoint) && i + 1 < wideCount && isLowSurrogate(wide[i + 1])) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (wide[i + 1] - 0xDC00u);
            ++i;
        } else if (isHighSurrogate(codePoint) || isLowSurrogate(codePoint)) {
            codePoint = replacementCharacter;
        }
        int length = utf8Length(codePoint);
        if (multiSize > 0) {
            if (written + length > multiSize)
                return 0;
            putUtf8(codePoint, multi + written);
        }
        written += length;
    }
    return written;
}

int MultiByteToWideChar(UINT codePage, DWORD, const char* multi, int multiCount, WCHAR* wide, int wideSize)
{
    if (!supported(codePage) || !multi || multiCount == 0 || multiCount < -1 || wideSize < 0 || (wideSize > 0 && !wide))
        return 0;
    if (multiCount == -1)
        multiCount = static_cast<int>(std::strlen(multi)) + 1;

    const auto* bytes = reinterpret_cast<const unsigned char*>(multi);
    int written = 0;
    for (size_t i = 0; i < static_cast<size_t>(multiCount);) {
        size_t used;
        bool wellFormed;
        uint32_t codePoint = decodeUtf8(bytes + i, static_cast<size_t>(multiCount) - i, used, wellFormed);
        i += used;
        int units = codePoint >= 0x10000 ? 2 : 1;
        if (wideSize > 0) {
            if (written + units > wideSize)
                return 0;
            if (units == 2) {
                wide[written] = static_cast<WCHAR>(0xD800 + ((codePoint - 0x10000) >> 10));
                wide[written + 1] = static_cast<WCHAR>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
            } else {
                wide[written] = static_cast<WCHAR>(codePoint);
            }
        }
        written += units;
    }
    return written;
}

namespace platform {

bool isValidUtf8(const char* text, size_t length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < length;) {
        size_t used;
        bool wellFormed;
        decodeUtf8(bytes + i, length - i, used, wellFormed);
        if (!wellFormed)
            return false;
        i += used;
    }
    return true;
}

}

#include "platform/gdi/text_decoding.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <mutex>

namespace platform {

namespace {

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not valid there.
size_t utf8SequenceAt(std::string_view text, size_t i, char32_t& out)
{
    auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    uint8_t lead = byte(i);
    if (lead < 0x80) {
        out = lead;
        return 1;
    }
    size_t length;
    char32_t value;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    out = value;
    return length;
}

std::u32string decodeUtf8(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        size_t n = utf8SequenceAt(text, i, c);
        out.push_back(n ? c : replacementCharacter);
        i += n ? n : 1;
    }
    return out;
}

// One converter for the process; the system draws on one thread, the lock only keeps tools honest.
class Cp949Decoder {
public:
    Cp949Decoder()
        : cd(iconv_open("UTF-32LE", "CP949"))
    {
    }
    ~Cp949Decoder()
    {
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }

    std::u32string decode(std::string_view text)
    {
        std::lock_guard lock(mutex);
        if (cd == reinterpret_cast<iconv_t>(-1))
            return bytewise(text);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        std::u32string out;
        out.reserve(text.size());
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        char buffer[256];
        while (inLeft > 0) {
            const char* from = in;
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
            appendUtf32(out, buffer, outPtr);
            if (rc != static_cast<size_t>(-1))
                continue;
            if (errno == E2BIG)
                continue;
            // EILSEQ: a byte that starts no CP949 character; EINVAL: a lead byte cut off at the end.
            // Either shows as one replacement character, and decoding resumes at the next byte, so a
            // bad trail byte that is ASCII is still shown. The converter passes over a few unassigned
            // pairs (A2 E8) before it reports them; then nothing more is skipped, or the character after
            // them would be lost, and at the end of the text there is nothing left to skip.
            out.push_back(replacementCharacter);
            const bool passedOver = characters(from, in) > static_cast<size_t>(outPtr - buffer) / 4;
            if (!passedOver && inLeft > 0) {
                ++in;
                --inLeft;
            }
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    // How many CP949 characters the bytes from, up to to, hold: a lead byte (81 to FE) with the byte after
    // it, or one byte.
    static size_t characters(const char* from, const char* to)
    {
        size_t n = 0;
        for (const char* p = from; p < to; ++n) {
            const auto lead = static_cast<uint8_t>(*p);
            p += lead >= 0x81 && lead <= 0xFE && to - p >= 2 ? 2 : 1;
        }
        return n;
    }

    static void appendUtf32(std::u32string& out, const char* begin, const char* end)
    {
        for (const char* p = begin; p + 4 <= end; p += 4) {
            auto b = [&](int k) { return static_cast<char32_t>(static_cast<uint8_t>(p[k])); };
            out.push_back(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
        }
    }

    static std::u32string bytewise(std::string_view text)
    {
        std::u32string out;
        for (char c : text)
            out.push_back(static_cast<uint8_t>(c) < 0x80 ? static_cast<char32_t>(c) : replacementCharacter);
        return out;
    }

    iconv_t cd;
    std::mutex mutex;
};

}

bool isValidUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        char32_t c;
        size_t n = utf8SequenceAt(text, i, c);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::u32string decodeForDisplay(std::string_view text)
{
    return decodeText(text, isValidUtf8(text) ? TextEncoding::Utf8 : TextEncoding::Cp949);
}

std::u32string decodeText(std::string_view text, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Guess:
        return decodeForDisplay(text);
    case TextEncoding::Cp949: {
        static Cp949Decoder decoder;
        return decoder.decode(text);
    }
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom:
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        break;
    }
    return decodeUtf8(text);
}

std::string textToUtf8(std::string_view text, TextEncoding encoding)
{
    if (encoding != TextEncoding::Cp949 && encoding != TextEncoding::Guess && isValidUtf8(text))
        return std::string(text);
    return encodeUtf8(decodeText(text, encoding));
}

const char* encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Guess:
        break;
    case TextEncoding::Utf8:
        return "UTF-8";
    case TextEncoding::Utf8Bom:
        return "UTF-8 BOM";
    case TextEncoding::Utf16LE:
        return "UTF-16LE";
    case TextEncoding::Utf16BE:
        return "UTF-16BE";
    case TextEncoding::Cp949:
        return "CP949";
    }
    return "";
}

DecidedText decideFileEncoding(std::string fileBytes)
{
    DecidedText out;
    auto startsWith = [&](std::string_view mark) { return std::string_view(fileBytes).substr(0, mark.size()) == mark; };
    if (startsWith("\xEF\xBB\xBF")) {
        out.encoding = TextEncoding::Utf8Bom;
        out.bytes = fileBytes.substr(3);
        return out;
    }
    const bool littleEndian = startsWith("\xFF\xFE");
    if (!littleEndian && !startsWith("\xFE\xFF")) {
        out.encoding = isValidUtf8(fileBytes) ? TextEncoding::Utf8 : TextEncoding::Cp949;
        out.bytes = std::move(fileBytes);
        return out;
    }
    out.encoding = littleEndian ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
    const size_t units = (fileBytes.size() - 2) / 2;
    out.oddByteDropped = (fileBytes.size() - 2) % 2 != 0;
    auto unitAt = [&](size_t k) {
        auto b0 = static_cast<uint8_t>(fileBytes[2 + 2 * k]);
        auto b1 = static_cast<uint8_t>(fileBytes[3 + 2 * k]);
        return static_cast<char32_t>(littleEndian ? b0 | (b1 << 8) : (b0 << 8) | b1);
    };
    std::u32string text;
    text.reserve(units);
    for (size_t k = 0; k < units; ++k) {
        char32_t unit = unitAt(k);
        if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < units) {
            char32_t low = unitAt(k + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                text.push_back(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++k;
                continue;
            }
        }
        // encodeUtf8 turns an unpaired surrogate into U+FFFD.
        text.push_back(unit);
    }
    out.bytes = encodeUtf8(text);
    return out;
}

std::string encodeUtf8(std::u32string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = replacementCharacter;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}

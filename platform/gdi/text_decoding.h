// Turning the byte texts the system draws into characters. Caption and list texts keep the bytes of
// their files; each such file's encoding is decided once, when it is read (decideFileEncoding), and its
// texts are decoded with that encoding. A text of no known file is taken as UTF-8 when it is valid
// UTF-8 and as CP949 otherwise.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

constexpr char32_t replacementCharacter = 0xFFFD;

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no cut sequence.
bool isValidUtf8(std::string_view text);

// The characters of text for display. Bytes that are not CP949 (and a lead byte cut off at the end)
// each become U+FFFD.
std::u32string decodeForDisplay(std::string_view text);

std::string encodeUtf8(std::u32string_view text);

// The encoding of one caption or list file. Guess is for texts that come from no file.
enum class TextEncoding {
    Guess,
    Utf8,
    Utf8Bom,
    Utf16LE,
    Utf16BE,
    Cp949,
};

// "UTF-8", "UTF-8 BOM", "UTF-16LE", "UTF-16BE", "CP949"; "" for Guess.
const char* encodingName(TextEncoding encoding);

// A file's bytes as the readers see them: the mark is gone and UTF-16 has become UTF-8.
struct DecidedText {
    TextEncoding encoding = TextEncoding::Guess;
    std::string bytes;
    // UTF-16 only: a last byte without its partner, dropped.
    bool oddByteDropped = false;
};

// Decides a whole file's encoding once: a byte-order mark decides (UTF-8, UTF-16LE, UTF-16BE);
// otherwise the file is UTF-8 when all of it is valid UTF-8, else CP949. Unpaired UTF-16 surrogates
// become U+FFFD.
DecidedText decideFileEncoding(std::string fileBytes);

// The characters of a text read from a file of the given encoding (the readers' bytes: UTF-16 files
// are UTF-8 by then). What is not valid in the encoding becomes U+FFFD.
std::u32string decodeText(std::string_view text, TextEncoding encoding);

// The same text as UTF-8, which decodeForDisplay then reads as it is.
std::string textToUtf8(std::string_view text, TextEncoding encoding);

}

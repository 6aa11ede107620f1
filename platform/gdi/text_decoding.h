// Turning the byte texts the system draws into characters. Caption and list texts keep the bytes of
// their files, so a text may be UTF-8 or CP949; valid UTF-8 is taken as UTF-8 and anything else as
// CP949, which shows Korean captions from files of either encoding.
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

}

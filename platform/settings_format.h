// The text of the settings file, one value per line as "NAME TYPE DATA":
//   fontsize dword 24
//   lastmovie sz /home/me/movies/a%20b.avi
//   odd hex:3 01ff
// "dword" holds exactly four bytes as an unsigned decimal; "sz" holds a text whose stored data is its bytes
// plus the terminator; "hex:N" holds any other data of type N as pairs of hex digits. Names and texts keep
// every byte: control bytes, space, "%", "#" and DEL are written as %XX, everything else as it is. Blank
// lines and lines starting with "#" are comments. Any other line makes the whole file unusable, so that a
// damaged file never yields half of its values.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct SettingsValue {
    std::string name;
    DWORD type = 0;
    std::string data;
};

// Reads the values of text in file order; a name given twice keeps its last value. False, with
// badLine set to the 1-based number of the first line that is not a value, when the text is damaged;
// values is then empty.
bool parseSettingsText(std::string_view text, std::vector<SettingsValue>& values, size_t& badLine);
// The whole file for values: a comment line, then one line per value.
std::string formatSettingsText(const std::vector<SettingsValue>& values);

}

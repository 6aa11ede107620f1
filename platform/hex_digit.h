// Hexadecimal digits as the %XX escapes of settings files and caption text carry them.
#pragma once

namespace platform {

// 0..15 for 0-9, a-f and A-F; -1 for any other character.
constexpr int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}

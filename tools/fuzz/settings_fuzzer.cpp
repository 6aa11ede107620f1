// A settings file of any bytes, read the way the settings store reads it: the key opened through
// RegOpenKeyExA and every value the player knows queried through RegQueryValueExA.
#include "fuzz_support.h"

#include "app/settings_store.h"
#include "platform/registry.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char* const valueNames[] = { "fullscreen", "help", "fontsize", "fontposy", "fontface", "screenx", "screeny",
    "bpp", "captionstyle", "seekbar", "alwaystop", "fitmode", "asksmi", "iscaption", "helpcolor", "quickskip",
    "isending", "lastmovie", "pgmdir", "message", "" };

void checkValue(HKEY key, const char* name)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return;

    // The size asked for is the size that fits; one byte less does not.
    std::vector<BYTE> data(size + 1, 0xEE);
    DWORD got = size;
    FUZZ_CHECK(RegQueryValueExA(key, name, nullptr, &type, data.data(), &got) == ERROR_SUCCESS);
    FUZZ_CHECK(got == size);
    FUZZ_CHECK(data[size] == 0xEE);
    if (size > 0) {
        DWORD tooSmall = size - 1;
        FUZZ_CHECK(RegQueryValueExA(key, name, nullptr, &type, data.data(), &tooSmall) == ERROR_MORE_DATA);
        FUZZ_CHECK(tooSmall == size);
    }
    // Types do not constrain the data: a REG_DWORD of two bytes or a REG_SZ without its terminator is a
    // value like any other ("hex:4", "hex:1"), as the registry allows.

    // The settings store's own readers, with the buffers the player gives them.
    int32_t number = 0x5A5A5A5A;
    if (sublumen::regReadDword(key, name, &number) != 0)
        FUZZ_CHECK(number == 0x5A5A5A5A && size > 4);
    char text[1024];
    std::memset(text, 'x', sizeof text);
    if (sublumen::regReadString(key, name, text, 1000) == 0)
        FUZZ_CHECK(size <= 1000 && text[size] == '\0');
    else
        FUZZ_CHECK(text[0] == '\0' && size > 1000);
}

}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzing::prepareProcess();
    ::setenv("XDG_CONFIG_HOME", fuzzing::scratchFile("config").c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = platform::settingsFilePath();
    fuzzing::writeInput(path, data, size);

    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Sublumen", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        FUZZ_CHECK(key == nullptr);
        return 0;
    }
    for (const char* name : valueNames)
        checkValue(key, name);
    // A key opened for reading never writes its file.
    FUZZ_CHECK(RegCloseKey(key) == ERROR_SUCCESS);
    return 0;
}

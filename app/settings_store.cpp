#include "app/settings_store.h"

#include "app/path_text.h"
#include "app/system.h"
#include "platform/kernel.h"

#include <cstring>

namespace sublumen {

namespace {
constexpr const char* settingsKey = "Software\\Sublumen";
}

int loadSettings(System& sys)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;

    Settings& s = sys.settings;
    regReadDword(key, "fullscreen", &s.fullscreen);
    regReadDword(key, "help", &s.help);
    regReadDword(key, "fontsize", &s.fontsize);
    regReadDword(key, "fontposy", &s.fontposy);
    if (regReadDword(key, "fontface", &s.fontface) == 0)
        s.fontface &= 3;
    regReadDword(key, "screenx", &s.screenx);
    regReadDword(key, "screeny", &s.screeny);
    regReadDword(key, "bpp", &s.bpp);
    regReadDword(key, "captionstyle", &s.captionstyle);
    regReadDword(key, "seekbar", &s.seekbar);
    regReadDword(key, "alwaystop", &s.alwaystop);
    regReadDword(key, "fitmode", &s.fitmode);
    regReadDword(key, "asksmi", &s.asksmi);
    regReadDword(key, "iscaption", &s.iscaption);
    regReadDword(key, "helpcolor", &s.helpcolor);

    // The file-open dialog has no initial folder of its own: it starts where the last movie was.
    char lastMovie[1024];
    if (regReadString(key, "lastmovie", lastMovie, 1000) == 0) {
        char directory[1024];
        directoryOf(lastMovie, directory, sizeof directory);
        SetCurrentDirectoryA(directory);
    }

    regReadDword(key, "quickskip", &s.quickskip);
    regReadDword(key, "isending", &s.isending);
    regReadDword(key, "resume", &s.resume);
    // A tag too long for any language is not read: the movie's own choice stands.
    regReadString(key, "audiolang", s.audiolang, sizeof s.audiolang - 1);
    regReadDword(key, "soundmode", &s.soundmode);
    regReadDword(key, "speakcaptions", &s.speakcaptions);
    regReadDword(key, "captionbox", &s.captionbox);
    RegCloseKey(key);
    return 0;
}

int saveSettings(System& sys)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, settingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
            nullptr, &key, &disposition)
        != ERROR_SUCCESS)
        return -1;

    const Settings& s = sys.settings;
    regWriteString(key, "message", bannerText, 0);
    regWriteDword(key, "fullscreen", s.fullscreen);
    regWriteDword(key, "help", s.help);
    regWriteDword(key, "fontsize", s.fontsize);
    regWriteDword(key, "fontposy", s.fontposy);
    regWriteDword(key, "fontface", s.fontface);
    regWriteDword(key, "seekbar", s.seekbar);
    regWriteDword(key, "fitmode", s.fitmode);
    regWriteDword(key, "asksmi", s.asksmi);
    regWriteDword(key, "helpcolor", s.helpcolor);
    regWriteDword(key, "screenx", s.screenx);
    regWriteDword(key, "screeny", s.screeny);
    regWriteDword(key, "bpp", s.bpp);
    regWriteDword(key, "captionstyle", s.captionstyle);
    regWriteDword(key, "iscaption", s.iscaption);
    // Without an open movie the last run's movie stays remembered.
    if (sys.movie.currentStream)
        regWriteString(key, "lastmovie", sys.startup.startPath, 0);
    if (sys.startup.programDir[0] != '\0')
        regWriteString(key, "pgmdir", sys.startup.programDir, 0);
    regWriteDword(key, "quickskip", s.quickskip);
    regWriteDword(key, "isending", s.isending);
    regWriteDword(key, "alwaystop", s.alwaystop);
    regWriteDword(key, "resume", s.resume);
    // Set by hand in the store, so written back only when there is one.
    if (s.audiolang[0] != '\0')
        regWriteString(key, "audiolang", s.audiolang, 0);
    regWriteDword(key, "soundmode", s.soundmode);
    regWriteDword(key, "speakcaptions", s.speakcaptions);
    regWriteDword(key, "captionbox", s.captionbox);
    RegCloseKey(key);
    return 0;
}

int regReadDword(HKEY key, const char* name, int32_t* out)
{
    // Four bytes at most go into the field, whatever the value's type; a longer value is not read.
    DWORD size = sizeof *out;
    DWORD type = 0;
    return RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &size) == ERROR_SUCCESS ? 0
                                                                                                             : -1;
}

int regReadString(HKEY key, const char* name, char* buffer, DWORD limit)
{
    DWORD size = limit;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
        buffer[0] = '\0';
        return -1;
    }
    buffer[size] = '\0';
    return 0;
}

int regWriteDword(HKEY key, const char* name, int32_t value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value)
            == ERROR_SUCCESS
        ? 0
        : -1;
}

int regWriteString(HKEY key, const char* name, const char* text, DWORD length)
{
    if (length == 0)
        length = static_cast<DWORD>(std::strlen(text));
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), length + 1) == ERROR_SUCCESS
        ? 0
        : -1;
}

}

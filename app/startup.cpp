#include "app/startup.h"

#include "app/debug_log.h"
#include "app/path_text.h"
#include "app/settings_store.h"
#include "app/system.h"
#include "caption/caption.h"
#include "display/display.h"
#include "display/display_modes.h"
#include "display/frame_layout.h"
#include "media/caption_discovery.h"
#include "media/media_stream.h"
#include "media/movie_list.h"
#include "media/movie_memory.h"
#include "media/movie_session.h"
#include "media/movie_start.h"
#include "media/opened_files.h"
#include "platform/ddraw/ddraw.h"
#include "platform/dialog_signals.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/window/window.h"
#include "ui/desktop.h"
#include "ui/keyboard_commands.h"
#include "ui/main_window.h"
#include "ui/volume.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace sublumen {

namespace {

constexpr const char* boxCaption = "Sublumen";

// The system whose state is saved when the display is lost; the process ends right after.
System* systemToSave = nullptr;

void saveWithoutDisplay()
{
    // What shutdown would have written: the settings, and what was set for the movie that plays.
    saveSettings(*systemToSave);
    rememberMovie(*systemToSave);
    debugLog("Display lost. End.\n");
}

void deleteFont(HFONT& font)
{
    if (font) {
        DeleteObject(font);
        font = nullptr;
    }
}

}

int findProgramDir(HINSTANCE instance, char* buffer, size_t size)
{
    char modulePath[1024];
    if (GetModuleFileNameA(instance, modulePath, 1022) == 0)
        return 0;
    debugLog("buf=%s\n", modulePath);
    char* cut = nullptr;
    for (char* p = modulePath; *p; ++p)
        if (isPathSeparator(*p))
            cut = p;
    if (cut)
        *cut = '\0';
    else
        modulePath[0] = '\0';
    boundedCopy(buffer, modulePath, size);
    debugLog("PgmDir=%s\n", buffer);
    return static_cast<int>(std::strlen(buffer));
}

bool startPathFromTail(const char* tail, char (&startPath)[1024])
{
    size_t length = std::strlen(tail);
    if (length == 0)
        return false;
    if (tail[0] != '"') {
        boundedCopy(startPath, tail, 1023);
    } else if (tail[length - 1] == '"' && length >= 2) {
        boundedCopy(startPath, tail + 1, 1023);
        size_t copied = std::strlen(startPath);
        // The closing quote is the last character only when nothing was cut by the bound.
        if (copied > 0 && startPath[copied - 1] == '"')
            startPath[copied - 1] = '\0';
    } else {
        boundedCopy(startPath, tail, 1023);
    }
    return true;
}

void resolveFoundName(char (&path)[1024])
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(path, &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    FindClose(find);
    // The found name replaces the file-name part that was looked up; the directory stays as written,
    // the root included, and a bare name stays relative to the current directory.
    const char* slash = std::strrchr(path, '/');
    size_t nameStart = slash ? static_cast<size_t>(slash - path) + 1 : 0;
    size_t nameLength = std::strlen(found.cFileName);
    if (nameStart + nameLength < sizeof path)
        std::memcpy(path + nameStart, found.cFileName, nameLength + 1);
}

int queryOverlaySupport(System& sys)
{
    if (!sys.displays.display || !sys.displays.display->directDraw)
        return 0;
    DDCAPS caps;
    std::memset(&caps, 0, sizeof caps);
    caps.dwSize = sizeof caps;
    if (FAILED(sys.displays.display->directDraw->GetCaps(&caps, nullptr)))
        return 0;
    return (caps.dwCaps & DDCAPS_OVERLAY) ? 1 : 0;
}

int initAll(System& sys, const char* commandTail)
{
    StartupState& st = sys.startup;
    // A relative start path names a file from where the program was started: the settings load
    // changes the current directory, so that folder is taken first.
    char startDir[1024];
    currentDirectory(startDir, sizeof startDir);
    findProgramDir(sys.playback.instance, st.programDir, 1023);
    sys.window.lastMouseTime = calendarSeconds();
    // What the settings load has to say comes before the log file exists; it is written there once it does.
    holdLogLines();
    // No settings file yet: the first start fills the screen it finds, as key 9 would, rather than the
    // built-in 640x480; what a later start finds saved (or could not read) is kept whatever it names.
    std::error_code noFile;
    const bool firstStart = !std::filesystem::exists(platform::settingsFilePath(), noFile) && !noFile;
    loadSettings(sys);
    if (firstStart && selectDesktopResolution(sys)) {
        // The captions are as large on that screen as the default is on 640x480; the size is kept as any is.
        Settings& s = sys.settings;
        s.fontsize = static_cast<int32_t>(std::lround(Settings {}.fontsize * desktopTextScale(s.screenx, s.screeny)));
        debugLog("First start: the desktop's size, %dx%d %d bits, captions of %d.\n", s.screenx, s.screeny, s.bpp,
            s.fontsize);
    }
    systemToSave = &sys;
    platform::setDisplayLostHandler(saveWithoutDisplay);

    if (startPathFromTail(commandTail, st.startPath)) {
        makeAbsolute(st.startPath, sizeof st.startPath, startDir);
    } else {
        // No filter: every file is listed, as a movie may have any name and a list is picked here too.
        if (!chooseFile(sys.playback.instance, nullptr, "비디오 화일을 고르십시오.", st.startPath,
                sizeof st.startPath)) {
            // Cancelled or closed by a signal: either way the start ends here.
            platform::takeEndRequest();
            return -1;
        }
        // The dialog answers from its own folder, the current directory.
        char dialogDir[1024];
        currentDirectory(dialogDir, sizeof dialogDir);
        makeAbsolute(st.startPath, sizeof st.startPath, dialogDir);
    }
    resolveFoundName(st.startPath);

    const std::string logPath = debugLogPathFor(st.programDir);
    std::remove(logPath.c_str());
    setLogFile(logPath.c_str());

    debugLog(">>> %s : initAll()\n", bannerText);
    writeHeldLogLines();
    debugLog("Command Line=%s\n", commandTail);
    sys.playback.framesThisSecond = 0;
    sys.playback.playState = PlayState::Run;

    // A directory passes a read-access test but is no movie or list to start from.
    std::error_code notFound;
    if (_access(st.startPath, 4) != 0 || std::filesystem::is_directory(st.startPath, notFound)) {
        debugLog("Can't access THE File:%s\n", st.startPath);
        MessageBoxA(nullptr, "Can't access THE File", boxCaption, MB_OK);
        return -11;
    }
    if (fileKindOf(st.startPath) == FileKind::Caption) {
        char movie[1024];
        if (findMovieForCaption(st.startPath, movie) < 0) {
            debugLog("No Movie for the Caption File:%s\n", st.startPath);
            MessageBoxA(nullptr, "No movie with the caption file's name beside it", boxCaption, MB_OK);
            return -11;
        }
        boundedCopy(st.startCaption, st.startPath, sizeof st.startCaption);
        boundedCopy(st.startPath, movie, sizeof st.startPath);
    }
    if (buildMovieList(sys) < 0) {
        debugLog("Can't init movie list\n");
        MessageBoxA(nullptr, "Can't init movie list", boxCaption, MB_OK);
        return -12;
    }
    // A signal that closed the caption question (asked before the window exists) ends the start here.
    if (platform::takeEndRequest()) {
        debugLog("Start-up asked to end.\n");
        return -1;
    }

    st.overlayFont = platform::createFont(12, FW_NORMAL, "굴림체");
    st.seekBarFont = platform::createFont(11, FW_NORMAL, "FixedSys");
    st.captionFont = platform::createFont(sys.settings.fontsize, FW_EXTRABOLD, fontFaceTable[sys.settings.fontface & 3]);

    if (initWindow(sys) < 0) {
        debugLog("initWindow() : Fail\n");
        return -1;
    }
    if (ddEnum(sys) < 0) {
        debugLog("initDirectX() : Fail\n");
        return -2;
    }
    debugLog("OverlaySupport=%d\n", queryOverlaySupport(sys));
    readVolume(sys);
    openDesktopControls(sys);
    startPlayableMovie(sys, 0);
    sys.playback.reinitRequest = 0;
    return 0;
}

void releaseMovieObjects(System& sys)
{
    closeMovieStream(sys);
    deleteFont(sys.startup.captionFont);
    closeMovieCaption(sys);
}

void releaseDisplay(System& sys)
{
    if (sys.displays.display) {
        sys.displays.display->shutdown();
        sys.displays.display.reset();
    }
    // The back surface belonged to the display that is gone.
}

void deinitAll(System& sys)
{
    debugLog(">>> deinitAll()\n");
    saveSettings(sys);
    closeDesktopControls(sys);
    deleteFont(sys.startup.overlayFont);
    deleteFont(sys.startup.seekBarFont);
    // The worker of a caption job may wake the window: it ends before the window does.
    sys.movie.captionJobs.running.reset();
    releaseMovieObjects(sys);
    releaseDisplay(sys);
    if (sys.movie.movieList) {
        sys.movie.movieList->clearList();
        sys.movie.movieList.reset();
    }
    if (sys.window.mainWindow)
        DestroyWindow(sys.window.mainWindow);
    platform::setDisplayLostHandler(nullptr);
    systemToSave = nullptr;
}

}

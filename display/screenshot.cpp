#include "display/screenshot.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "display/display.h"
#include "display/frame_composition.h"
#include "display/info_overlay.h"
#include "display/notice.h"
#include "media/media_stream.h"
#include "platform/gdi/text_decoding.h"
#include "platform/kernel.h"
#include "platform/picture_files.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace sublumen {

namespace {

// Room left in a 255-byte file name for "-hh.mm.ss.mmm", a "-NNN" of a taken name and ".png".
constexpr size_t movieNameLimit = 200;
constexpr uint32_t noticeSeconds = 3;

// Characters that would split a name, hide it, or reorder or vanish on the screen.
bool unsafeCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == U'\\' || c == 0x2044 || c == 0x2215 || c == 0x29F8
        || c == 0x29F9 || c == 0xFF0F || c == 0xFF3C || c == 0xFE68 || c == 0x200E || c == 0x200F
        || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string safeMovieName(std::string_view name)
{
    std::string safe;
    if (platform::isValidUtf8(name)) {
        std::u32string characters = platform::decodeForDisplay(name);
        for (char32_t& c : characters)
            if (unsafeCharacter(c))
                c = U'_';
        safe = platform::encodeUtf8(characters);
    } else {
        // A name in the code page keeps its bytes; only the control bytes, which no lead or trail byte
        // is, are replaced.
        safe = name;
        for (char& c : safe)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                c = '_';
    }
    size_t dots = safe.find_first_not_of('.');
    safe.erase(0, dots == std::string::npos ? safe.size() : dots);
    if (safe.size() >= movieNameLimit) {
        std::vector<char> cut(safe.begin(), safe.end());
        cut.push_back('\0');
        fitLine(cut.data(), movieNameLimit);
        safe = cut.data();
    }
    return safe.empty() ? "movie" : safe;
}

// The pictures folder made when missing; empty, with the notice saying why, when it cannot be used.
std::string usableFolder(System& sys)
{
    const std::string folder = platform::picturesFolder();
    if (!platform::makeFolders(folder)) {
        debugLog("Screenshot: cannot make the folder %s\n", folder.c_str());
        showNotice(sys, "화면 저장 실패: 폴더를 만들 수 없음 " + shownPath(folder), noticeSeconds);
        return "";
    }
    if (!platform::folderWritable(folder.c_str())) {
        debugLog("Screenshot: the folder %s is not writable\n", folder.c_str());
        showNotice(sys, "화면 저장 실패: 쓸 수 없는 폴더 " + shownPath(folder), noticeSeconds);
        return "";
    }
    return folder;
}

uint32_t movieTime(System& sys)
{
    uint32_t t = sys.movie.currentStream->currentTime();
    // The clock's error answers are the top three values.
    return t >= 0xFFFFFFFDu ? 0 : t;
}

using Clock = std::chrono::steady_clock;

// CPU time of the main thread: on a busy machine the wall time also counts the other threads' turns.
double threadMilliseconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct CaptureStart {
    Clock::time_point wall = Clock::now();
    double cpu = threadMilliseconds();
};

// Hands copies of picture to the writer, one file each; the main thread's part is logged from start.
void submit(System& sys, platform::ConstPixelView picture, const std::string& folder, int files, const CaptureStart& start)
{
    if (!sys.screenshots.writer)
        sys.screenshots.writer = std::make_shared<platform::PictureFileWriter>(sys.window.mainWindow, WM_SCREENSHOTSAVED);
    std::shared_ptr<platform::Surface> copy = sys.screenshots.writer->pictureBuffer(picture.width, picture.height,
        picture.format);
    if (copy->pitch == picture.pitch) {
        std::memcpy(copy->data(), picture.data(), static_cast<size_t>(picture.pitch) * static_cast<size_t>(picture.height));
    } else {
        const size_t row = static_cast<size_t>(std::min(copy->pitch, picture.pitch));
        for (int y = 0; y < picture.height; ++y)
            std::memcpy(copy->row(y), picture.row(y), row);
    }
    const std::string name = screenshotName(sys.movie.currentItem.movie, movieTime(sys));
    for (int i = 0; i < files; ++i)
        sys.screenshots.writer->submit({copy, folder, name});
    const double milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start.wall).count();
    debugLog("Screenshot: %dx%d copied in %.2f ms (%.2f ms of the main thread's CPU)\n", picture.width, picture.height,
        milliseconds, threadMilliseconds() - start.cpu);
}

}

std::string shownPath(const std::string& path)
{
    std::string shown = path;
    const char* home = std::getenv("HOME");
    const size_t length = home ? std::strlen(home) : 0;
    if (length > 1 && shown.compare(0, length, home) == 0 && (shown.size() == length || shown[length] == '/'))
        shown = "~" + shown.substr(length);
    if (platform::isValidUtf8(shown))
        return shown;
    return platform::encodeUtf8(platform::decodeForDisplay(shown));
}

std::string screenshotName(const char* moviePath, uint32_t milliseconds)
{
    std::string_view path(moviePath ? moviePath : "");
    const size_t slash = path.find_last_of("/\\");
    std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = file.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0)
        file = file.substr(0, dot);
    char time[32];
    std::snprintf(time, sizeof time, "-%02u.%02u.%02u.%03u", milliseconds / 3600000u, milliseconds / 60000u % 60u,
        milliseconds / 1000u % 60u, milliseconds % 1000u);
    return safeMovieName(file) + time;
}

void requestScreenshot(System& sys, bool movieFrameOnly)
{
    if (!movieShown(sys) || !sys.displays.backSurface()) {
        debugLog("Screenshot: no movie shown\n");
        return;
    }
    const std::string folder = usableFolder(sys);
    if (folder.empty())
        return;
    if (!movieFrameOnly) {
        ++sys.screenshots.composedWanted;
        sys.screenshots.folder = folder;
        return;
    }
    const CaptureStart start;
    IDirectDrawSurface* sample = sys.movie.currentStream->surface;
    const platform::PixelView* frame = sample ? sample->pixels() : nullptr;
    if (!frame || frame->width <= 0 || frame->height <= 0) {
        debugLog("Screenshot: the movie has no picture\n");
        return;
    }
    submit(sys, *frame, folder, 1, start);
}

void takeComposedScreenshots(System& sys)
{
    DisplaySurface* back = sys.displays.backSurface();
    takeComposedScreenshotsOf(sys, back && back->surface ? back->surface->pixels() : nullptr);
}

void takeComposedScreenshotsOf(System& sys, const platform::PixelView* screen)
{
    ScreenshotState& s = sys.screenshots;
    if (s.composedWanted == 0)
        return;
    const CaptureStart start;
    const int wanted = s.composedWanted;
    s.composedWanted = 0;
    if (!movieShown(sys) || !screen) {
        debugLog("Screenshot: no movie shown\n");
        return;
    }
    submit(sys, *screen, s.folder, wanted, start);
}

void noteSavedScreenshots(System& sys)
{
    if (!sys.screenshots.writer)
        return;
    for (const platform::PictureFileResult& result : sys.screenshots.writer->takeResults()) {
        if (result.error == platform::PictureFileError::None) {
            debugLog("Screenshot saved: %s\n", result.path.c_str());
            showNotice(sys, "화면 저장: " + shownPath(result.path), noticeSeconds);
            continue;
        }
        debugLog("Screenshot failed: %s : %s\n", result.path.c_str(), result.reason.c_str());
        switch (result.error) {
        case platform::PictureFileError::NoSpace:
            showNotice(sys, "화면 저장 실패: 공간이 모자람 " + shownPath(result.path), noticeSeconds);
            break;
        case platform::PictureFileError::NotPermitted:
            showNotice(sys, "화면 저장 실패: 쓸 수 없음 " + shownPath(result.path), noticeSeconds);
            break;
        case platform::PictureFileError::Encoding:
            showNotice(sys, "화면 저장 실패: PNG로 만들 수 없음", noticeSeconds);
            break;
        default:
            showNotice(sys, "화면 저장 실패: 쓰기 오류 " + shownPath(result.path), noticeSeconds);
            break;
        }
    }
}

bool screenshotFrameWanted(const System& sys)
{
    return sys.screenshots.composedWanted > 0;
}

}

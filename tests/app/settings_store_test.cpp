#include "app/settings_store.h"

#include "app/debug_log.h"
#include "app/path_text.h"
#include "app/system.h"
#include "media/movie_session.h"
#include "platform/kernel.h"
#include "support/log_capture.h"
#include "support/test_files.h"

#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <grp.h>
#include <memory>
#include <pwd.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace sublumen;
using testing_support::LogCapture;
using testing_support::readFile;
using testing_support::ScratchDir;
namespace fs = std::filesystem;

namespace {

bool sameSettings(const Settings& a, const Settings& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Each test gets its own configuration folder and working directory, both restored afterwards.
class SettingsStore : public testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadConfigHome = old != nullptr;
        oldConfigHome = old ? old : "";
        setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
        oldCwd = fs::current_path();
        platform::setLogSink([](const char* text) { debugLog("%s", text); });
    }
    void TearDown() override
    {
        platform::setLogSink(nullptr);
        fs::current_path(oldCwd);
        if (hadConfigHome)
            setenv("XDG_CONFIG_HOME", oldConfigHome.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    std::string settingsFile() const { return dir.file("config/sublumen/settings"); }
    void writeSettings(const std::string& text) const { dir.write("config/sublumen/settings", text); }

    ScratchDir dir;
    bool hadConfigHome = false;
    std::string oldConfigHome;
    fs::path oldCwd;
};

}

TEST_F(SettingsStore, MissingFileKeepsDefaultsAndSaveCreatesIt)
{
    System sys;
    EXPECT_EQ(loadSettings(sys), -1);
    EXPECT_TRUE(sameSettings(sys.settings, Settings {}));
    EXPECT_EQ(saveSettings(sys), 0);
    EXPECT_TRUE(fs::exists(settingsFile()));
    System again;
    EXPECT_EQ(loadSettings(again), 0);
    EXPECT_TRUE(sameSettings(again.settings, Settings {}));
}

TEST_F(SettingsStore, RoundTripKeepsEveryFieldAndWritesInTheDocumentedOrder)
{
    System sys;
    sys.settings = { 0, 1, -5, -20, 3, 1024, 768, 32, 0x281, 0, 0, 3, 0, 0, 0x123456, 0, 0, 0, 2, 1, 2 };
    openMovieStream(sys, "none");
    ASSERT_EQ(saveSettings(sys), 0);

    System loaded;
    ASSERT_EQ(loadSettings(loaded), 0);
    EXPECT_TRUE(sameSettings(loaded.settings, sys.settings));

    std::vector<std::string> names;
    std::string text = readFile(settingsFile());
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1)
        if (text[at] != '#')
            names.push_back(text.substr(at, text.find(' ', at) - at));
    EXPECT_EQ(names,
        (std::vector<std::string> { "message", "fullscreen", "help", "fontsize", "fontposy", "fontface", "seekbar",
            "fitmode", "asksmi", "helpcolor", "screenx", "screeny", "bpp", "captionstyle", "iscaption", "lastmovie",
            "pgmdir", "quickskip", "isending", "alwaystop", "resume", "soundmode", "speakcaptions", "captionbox" }));
}

TEST_F(SettingsStore, FontfaceKeepsItsLowTwoBitsOnly)
{
    writeSettings("fontface dword 6\nfitmode dword 9\n");
    System sys;
    ASSERT_EQ(loadSettings(sys), 0);
    EXPECT_EQ(sys.settings.fontface, 2);
    EXPECT_EQ(sys.settings.fitmode, 9);  // Not corrected on load.
}

TEST_F(SettingsStore, StringsKeepEveryByte)
{
    System sys;
    boundedCopy(sys.startup.startPath, "/a b/%41#x\t\r\n\x7f\xb0\xa1\xed\x95\x9c.avi", sizeof sys.startup.startPath);
    openMovieStream(sys, "none");
    ASSERT_EQ(saveSettings(sys), 0);

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Sublumen", 0, KEY_READ, &key), ERROR_SUCCESS);
    char buffer[1024];
    ASSERT_EQ(regReadString(key, "lastmovie", buffer, 1000), 0);
    EXPECT_STREQ(buffer, sys.startup.startPath);
    ASSERT_EQ(regReadString(key, "message", buffer, 1000), 0);
    EXPECT_STREQ(buffer, bannerText);
    EXPECT_EQ(regReadString(key, "nothing", buffer, 1000), -1);
    EXPECT_STREQ(buffer, "");
    RegCloseKey(key);
}

TEST_F(SettingsStore, LastMovieSetsTheCurrentDirectoryOnlyWhenItExists)
{
    fs::create_directories(dir.path() / "movies");
    writeSettings("lastmovie sz " + dir.file("movies") + "/film.avi\n");
    System sys;
    ASSERT_EQ(loadSettings(sys), 0);
    EXPECT_EQ(fs::current_path(), dir.path() / "movies");

    fs::current_path(oldCwd);
    writeSettings("lastmovie sz " + dir.file("gone") + "/film.avi\nfontsize dword 30\n");
    ASSERT_EQ(loadSettings(sys), 0);
    EXPECT_EQ(fs::current_path(), oldCwd);
    EXPECT_EQ(sys.settings.fontsize, 30);

    // A text beyond the 1000-byte read limit is not used at all.
    writeSettings("lastmovie sz " + dir.file("movies") + "/" + std::string(1000, 'x') + "\n");
    ASSERT_EQ(loadSettings(sys), 0);
    EXPECT_EQ(fs::current_path(), oldCwd);
}

TEST_F(SettingsStore, WithoutAMovieOpenLastMovieKeepsTheEarlierRun)
{
    writeSettings("lastmovie sz /old/film.avi\n");
    System sys;
    boundedCopy(sys.startup.startPath, "/new/film.avi", sizeof sys.startup.startPath);
    sys.startup.programDir[0] = '\0';
    ASSERT_EQ(saveSettings(sys), 0);
    std::string text = readFile(settingsFile());
    EXPECT_NE(text.find("lastmovie sz /old/film.avi\n"), std::string::npos);
    EXPECT_EQ(text.find("pgmdir"), std::string::npos);
}

TEST_F(SettingsStore, WrongSizedValuesFailToReadAndKeepTheDefault)
{
    writeSettings("fontsize hex:4 0102030405\nscreenx sz 12345\nbpp hex:3 20000000\n");
    System sys;
    ASSERT_EQ(loadSettings(sys), 0);
    EXPECT_EQ(sys.settings.fontsize, 24);
    EXPECT_EQ(sys.settings.screenx, 640);
    EXPECT_EQ(sys.settings.bpp, 32);  // The type is not checked, only the size.
}

TEST_F(SettingsStore, UnusableFileIsLoggedOnceReadAsMissingAndKeptAside)
{
    LogCapture log(dir);
    const std::string corrupt = "fontsize dword 30\nfontposy dword twelve\n";
    writeSettings(corrupt);
    System sys;
    EXPECT_EQ(loadSettings(sys), -1);
    EXPECT_EQ(loadSettings(sys), -1);
    EXPECT_TRUE(sameSettings(sys.settings, Settings {}));
    EXPECT_EQ(log.text(), "Registry: " + settingsFile() + " is ignored: line 2 is not a value.\n");

    ASSERT_EQ(saveSettings(sys), 0);
    EXPECT_EQ(readFile(settingsFile() + ".unusable"), corrupt);
    EXPECT_EQ(loadSettings(sys), 0);

    // A folder where the file should be cannot be read either, and is not replaced.
    fs::remove(settingsFile());
    fs::create_directories(settingsFile());
    EXPECT_EQ(loadSettings(sys), -1);
    EXPECT_EQ(saveSettings(sys), 0);
    EXPECT_TRUE(fs::is_directory(settingsFile()));
}

TEST_F(SettingsStore, PipeInThePlaceOfTheFileIsNeitherWaitedForNorReplaced)
{
    fs::create_directories(dir.path() / "config/sublumen");
    ASSERT_EQ(mkfifo(settingsFile().c_str(), 0600), 0);
    LogCapture log(dir);
    System sys;
    EXPECT_EQ(loadSettings(sys), -1);
    EXPECT_TRUE(sameSettings(sys.settings, Settings {}));
    EXPECT_EQ(saveSettings(sys), 0);
    EXPECT_TRUE(fs::is_fifo(settingsFile()));
    EXPECT_FALSE(fs::exists(settingsFile() + ".unusable"));
    EXPECT_EQ(log.text(),
        "Registry: " + settingsFile() + " is ignored: not a regular file.\nRegistry: " + settingsFile()
            + " could not be read, so it is kept and the settings are not saved.\n");
}

// Another user's file in the user's own settings folder: as root, a child that runs as nobody in a folder
// nobody owns, so that permissions and the kernel's hard-link protection apply as they do to a real user.
struct ForeignFileCase {
    const char* name;
    mode_t mode;
    std::string text;
    bool readable;
};

class ForeignSettingsFile : public SettingsStore, public testing::WithParamInterface<ForeignFileCase> { };

TEST_P(ForeignSettingsFile, IsNeverLost)
{
    const ForeignFileCase& c = GetParam();
    const bool root = geteuid() == 0;
    const passwd* nobody = getpwnam("nobody");
    if (root && !nobody)
        GTEST_SKIP() << "no user to run as";
    if (!root && c.readable)
        GTEST_SKIP() << "needs a file of another owner";
    LogCapture log(dir);
    const std::string logFile = dir.file("DEBUG.LOG");
    writeSettings(c.text);
    ASSERT_EQ(chmod(settingsFile().c_str(), root ? c.mode : 0), 0);
    if (!root && access(settingsFile().c_str(), R_OK) == 0)
        GTEST_SKIP() << "running with the right to read every file";
    if (root) {
        dir.write("DEBUG.LOG", "");
        ASSERT_EQ(chmod(logFile.c_str(), 0666), 0);
        ASSERT_EQ(chown(dir.file("config/sublumen").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0))
            _exit(3);
        auto sys = std::make_unique<System>();
        int loaded = loadSettings(*sys);
        saveSettings(*sys);
        _exit(loaded == -1 && sameSettings(sys->settings, Settings {}) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::string text = readFile(logFile);
    if (!c.readable) {
        EXPECT_EQ(readFile(settingsFile()), c.text);
        EXPECT_FALSE(fs::exists(settingsFile() + ".unusable"));
        EXPECT_NE(text.find("Registry: " + settingsFile() + " is ignored: Permission denied.\n"), std::string::npos)
            << text;
        EXPECT_NE(text.find("could not be read, so it is kept and the settings are not saved.\n"), std::string::npos)
            << text;
    } else {
        EXPECT_EQ(readFile(settingsFile() + ".unusable"), c.text);
        EXPECT_NE(readFile(settingsFile()).find("fontsize dword 24\n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Owners, ForeignSettingsFile,
    testing::Values(ForeignFileCase { "Unreadable", 0600, "fontsize dword 33\n", false },
        ForeignFileCase { "ReadableButDamaged", 0644, "fontsize dword many\n", true }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStore, FailedWriteLeavesTheOldFileIntact)
{
    System sys;
    sys.settings.fontsize = 40;
    ASSERT_EQ(saveSettings(sys), 0);
    const std::string before = readFile(settingsFile());

    // A file-size limit makes the write of the new file fail part-way, as a full disk would.
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = { 64, old.rlim_max };
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    sys.settings.fontsize = 50;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Sublumen", 0, nullptr, REG_OPTION_NON_VOLATILE,
                  KEY_READ | KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    regWriteString(key, "padding", std::string(200, 'p').c_str(), 0);
    LONG closed = RegCloseKey(key);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(closed, ERROR_WRITE_FAULT);
    EXPECT_EQ(readFile(settingsFile()), before);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path() / "config/sublumen"))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string> { "settings" });
}

TEST_F(SettingsStore, AudiolangIsReadWrittenLastAndTooLongIsNotReadButKept)
{
    System sys;
    std::strcpy(sys.settings.audiolang, "kor");
    ASSERT_EQ(saveSettings(sys), 0);
    const std::string text = readFile(settingsFile());
    EXPECT_NE(text.find("alwaystop dword 1\nresume dword 1\naudiolang sz kor\n"), std::string::npos) << text;
    System loaded;
    ASSERT_EQ(loadSettings(loaded), 0);
    EXPECT_STREQ(loaded.settings.audiolang, "kor");

    const std::string tooLong = "audiolang sz " + std::string(40, 'k') + "\n";
    writeSettings(tooLong);
    System longer;
    ASSERT_EQ(loadSettings(longer), 0);
    EXPECT_STREQ(longer.settings.audiolang, "");
    ASSERT_EQ(saveSettings(longer), 0);
    EXPECT_NE(readFile(settingsFile()).find(tooLong), std::string::npos);
}

// A player killed while it saves its settings: a child process saves two versions of the settings
// alternately, as fast as it can, and is killed with SIGKILL at a different moment each round. The file
// must always be one of the two complete versions, and once it exists it never goes missing; the
// temporary files of the killed saves do not pile up in the folder.
#include "app/settings_store.h"

#include "app/path_text.h"
#include "app/system.h"
#include "support/test_files.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace sublumen;
using testing_support::readFile;
using testing_support::ScratchDir;
namespace fs = std::filesystem;

namespace {

// Two versions that differ in values and in length, so that a torn or mixed file cannot pass for either.
void setVersion(System& sys, int version)
{
    sys.settings.fontsize = version == 0 ? 24 : 47;
    sys.settings.helpcolor = version == 0 ? 0 : 0xFFFFFF;
    sys.settings.captionstyle = version == 0 ? 3 : 0x7FFFFFFF;
    std::string dir = version == 0 ? "/opt/sublumen" : "/home/someone/" + std::string(700, 'p') + "/sublumen";
    boundedCopy(sys.startup.programDir, dir.c_str(), sizeof sys.startup.programDir);
}

class SettingsDurability : public testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadConfigHome = old != nullptr;
        oldConfigHome = old ? old : "";
        setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    }
    void TearDown() override
    {
        if (hadConfigHome)
            setenv("XDG_CONFIG_HOME", oldConfigHome.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

    // The bytes a completed save of the version leaves in the file.
    std::string savedText(int version)
    {
        auto sys = std::make_unique<System>();
        setVersion(*sys, version);
        EXPECT_EQ(saveSettings(*sys), 0);
        std::string text = readFile(settingsFile());
        fs::remove(settingsFile());
        return text;
    }

    std::string settingsFile() const { return dir.file("config/sublumen/settings"); }

    ScratchDir dir;
    bool hadConfigHome = false;
    std::string oldConfigHome;
};

// Saves version (first + i) % 2 for i = 0, 1, ... and writes one byte to the pipe after each save; never
// returns.
[[noreturn]] void saveForever(int first, int doneFd)
{
    auto sys = std::make_unique<System>();
    for (int i = 0;; ++i) {
        setVersion(*sys, (first + i) % 2);
        if (saveSettings(*sys) != 0)
            _exit(3);
        char done = 1;
        if (::write(doneFd, &done, 1) != 1)
            _exit(4);
    }
}

TEST_F(SettingsDurability, KilledWhileSavingLeavesTheOldOrTheNewCompleteFile)
{
    const std::string versions[2] = {savedText(0), savedText(1)};
    ASSERT_FALSE(versions[0].empty());
    ASSERT_NE(versions[0], versions[1]);
    ASSERT_FALSE(fs::exists(settingsFile()));

    std::mt19937 random(20261207);
    bool created = false;
    int wholeFiles[2] = {0, 0};
    const int rounds = 120;
    for (int round = 0; round < rounds; ++round) {
        int done[2];
        ASSERT_EQ(::pipe(done), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(done[0]);
            saveForever(round % 2, done[1]);
        }
        ::close(done[1]);

        // The first rounds may kill before the first save ends; later ones let a few saves finish first,
        // then kill after a varying delay, which lands anywhere inside a save.
        int savesBefore = round < 10 ? 0 : static_cast<int>(random() % 4);
        for (int i = 0; i < savesBefore; ++i) {
            char byte;
            ASSERT_EQ(::read(done[0], &byte, 1), 1) << "the saving child stopped";
        }
        ::usleep(static_cast<useconds_t>(random() % 3000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(done[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself with status " << WEXITSTATUS(status);

        if (!fs::exists(settingsFile())) {
            ASSERT_FALSE(created) << "the settings file went missing in round " << round;
            continue;
        }
        created = true;
        std::string text = readFile(settingsFile());
        if (text == versions[0])
            ++wholeFiles[0];
        else if (text == versions[1])
            ++wholeFiles[1];
        else
            FAIL() << "round " << round << " left a file that is neither version:\n" << text;

        // And the player reads it back as one of them.
        auto sys = std::make_unique<System>();
        ASSERT_EQ(loadSettings(*sys), 0);
        EXPECT_TRUE(sys->settings.fontsize == 24 || sys->settings.fontsize == 47);
        EXPECT_EQ(sys->settings.fontsize == 24, text == versions[0]);
    }
    // Both versions were seen whole, so the kills did land between and inside different saves.
    EXPECT_GT(wholeFiles[0], 0);
    EXPECT_GT(wholeFiles[1], 0);
    int leftovers = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(settingsFile()).parent_path()))
        leftovers += entry.path().filename().string().rfind(".settings-", 0) == 0;
    // A killed save leaves its temporary file; the next save clears it, so they do not pile up.
    EXPECT_LE(leftovers, 1);
}

}

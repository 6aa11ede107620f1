// The player brought up by initAll with its program file in a scratch folder (DEBUG.LOG and the
// settings are the test's own), on a list of movies t1..tN, driven turn by turn as the main loop
// drives it.
#pragma once

#include "app/debug_log.h"
#include "app/main_loop.h"
#include "app/startup.h"
#include "app/system.h"
#include "platform/ddraw/display_driver.h"
#include "platform/kernel.h"
#include "support/scripted_chooser.h"
#include "support/scripted_media_backend.h"
#include "support/test_files.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace testing_support {

inline size_t countOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

class RunningPlayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        drainMessages();
        std::filesystem::create_directories(programDir);
        platform::setLogSink([](const char* text) { sublumen::debugLog("%s", text); });
        sys.playback.instance = platform::moduleInstance((programDir + "/sublumen").c_str());
        accelerators = LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(102));
    }
    void TearDown() override
    {
        sublumen::deinitAll(sys);
        sublumen::setLogFile(nullptr);
        platform::setLogSink(nullptr);
        platform::setDisplayDriver(nullptr);
        platform::setCalendarClock(nullptr);
        drainMessages();
    }

    // Adds a line to the settings the next start-up reads.
    void setting(const std::string& line)
    {
        std::string earlier = readFile(dir.file("config/sublumen/settings"));
        dir.write("config/sublumen/settings", earlier + line + "\n");
    }
    // Starts on a list of `movies` items; their files are missing unless `script` plays them.
    void start(int fullscreen = 0, int movies = 5)
    {
        setting("fullscreen dword " + std::to_string(fullscreen));
        std::string list;
        for (int i = 1; i <= movies; ++i) {
            std::string name = "movie" + std::to_string(i) + ".avi";
            if (script)
                dir.write(name, "scripted");
            list += "@t" + std::to_string(i) + "\nmovie=" + name + "\n";
        }
        ASSERT_EQ(sublumen::initAll(sys, dir.write("list.slm", list).c_str()), 0);
        ASSERT_NE(sys.window.mainWindow, nullptr);
        settle();
    }
    // Plays every movie on a scripted media engine instead of leaving the files missing.
    void playScripted()
    {
        script = std::make_shared<MediaScript>();
        scope.emplace(script);
    }
    // Handles every queued message, then runs one idle turn and the re-initialisation check.
    sublumen::LoopOutcome turn()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message != WM_QUIT)
            EXPECT_EQ(sublumen::loopTurn(sys, accelerators), sublumen::LoopOutcome::Continue);
        return sublumen::loopTurn(sys, accelerators);
    }
    // Lets the start-up's own messages (focus, paint) pass, so a test begins in a quiet Run state.
    void settle()
    {
        turn();
        sys.playback.playState = sublumen::PlayState::Run;
        logMark = log().size();
    }
    void press(int virtualKey) { PostMessageA(sys.window.mainWindow, WM_KEYDOWN, virtualKey, 1); }
    std::string log() const { return readFile(programDir + "/DEBUG.LOG"); }
    // What was logged since the test's own actions began.
    std::string newLog() const { return log().substr(logMark); }
    std::string savedSettings() const { return readFile(dir.file("config/sublumen/settings")); }

    ScratchDir dir;
    CurrentDirectoryGuard cwd;
    EnvironmentOverride config { "XDG_CONFIG_HOME", dir.file("config") };
    EnvironmentOverride state { "XDG_STATE_HOME", dir.file("state") };
    EnvironmentOverride answer { "SUBLUMEN_MESSAGEBOX_ANSWER", "ok" };
    std::string programDir = dir.file("bin");
    std::shared_ptr<MediaScript> script;
    std::optional<ScriptedBackendScope> scope;
    sublumen::System sys;
    HACCEL accelerators = nullptr;
    size_t logMark = 0;
};

}

// What the media stream and movie start tests share: a real Display on the scripted display driver
// and movies encoded once per run.
#pragma once

#include "app/system.h"
#include "display/display.h"
#include "display/display_modes.h"
#include "movie_fixture.h"
#include "platform/ddraw/display_driver.h"
#include "support/log_capture.h"
#include "support/movie_set.h"
#include "support/test_files.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace stream_setup {

// The shared movie set plus what these suites add: the MP4 cut after half its length and a text file
// named .avi.
class Movies {
public:
    static Movies& get()
    {
        static Movies movies;
        return movies;
    }
    // Empty when this FFmpeg cannot encode the kind.
    std::string path(fixtures::MovieKind kind) const { return set_.path(kind); }
    std::string avi() const { return path(fixtures::MovieKind::Mpeg4PcmAvi); }
    std::string audioOnly;
    // Empty when this FFmpeg cannot encode it.
    std::string truncated;
    std::string text;

private:
    Movies()
    {
        const std::filesystem::path& dir = set_.dir();
        audioOnly = set_.audioOnly();
        // The index still promises 3 s; the pictures and sound stop after about half of it.
        fixtures::MovieRecipe indexed;
        indexed.kind = fixtures::MovieKind::H264AacMp4;
        indexed.indexFirst = true;
        std::string whole = (dir / "whole.mp4").string();
        if (fixtures::canEncode(indexed.kind) && fixtures::writeMovie(whole, indexed).empty()) {
            truncated = (dir / "cut.mp4").string();
            std::string bytes = testing_support::readFile(whole);
            std::ofstream(truncated, std::ios::binary)
                .write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
        }
        text = (dir / "notes.avi").string();
        std::ofstream(text) << "This is not a movie.\r\nJust some text.\r\n";
    }

    testing_support::MovieSet set_;
};

// A System with its window and a window-mode Display of screen × 32 bits on the scripted driver.
class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto made = std::make_unique<platform::ScriptedDisplayDriver>();
        driver = made.get();
        platform::setDisplayDriver(std::move(made));
        sys.window.mainWindow = window.handle();
        sys.settings.fullscreen = 0;
        sys.settings.screenx = 640;
        sys.settings.screeny = 480;
        sys.settings.bpp = 32;
        ASSERT_EQ(sublumen::ddEnum(sys), 0);
        ASSERT_NE(sys.displays.backSurface(), nullptr);
    }
    void TearDown() override
    {
        sys.displays.display.reset();
        platform::setDisplayDriver(nullptr);
    }

    testing_support::ScratchDir dir;
    testing_support::LogCapture log { dir };
    testing_support::RecordingWindow window { 640, 480 };
    platform::ScriptedDisplayDriver* driver = nullptr;
    sublumen::System sys;
};

}

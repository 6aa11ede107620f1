// What the media stream and movie start tests share: a real Display on the scripted display driver
// and movies encoded once per run.
#pragma once

#include "app/system.h"
#include "display/display.h"
#include "display/display_modes.h"
#include "movie_fixture.h"
#include "platform/ddraw/display_driver.h"
#include "support/log_capture.h"
#include "support/test_files.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace stream_setup {

// The movies of the suite: 3 s at 10 frames per second, 176 × 144, a key frame every 12; an
// audio-only file; the AVI cut after half its length; a text file named .avi.
class Movies {
public:
    static Movies& get()
    {
        static Movies movies;
        return movies;
    }
    // Empty when this FFmpeg cannot encode the kind.
    std::string path(fixtures::MovieKind kind) const
    {
        auto found = paths_.find(kind);
        return found == paths_.end() ? std::string() : found->second;
    }
    std::string avi() const { return path(fixtures::MovieKind::Mpeg4PcmAvi); }
    std::string audioOnly;
    // Empty when this FFmpeg cannot encode it.
    std::string truncated;
    std::string text;

private:
    Movies()
    {
        dir_ = std::filesystem::temp_directory_path() / ("sublumen-stream-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        for (auto kind : {fixtures::MovieKind::Mpeg4PcmAvi, fixtures::MovieKind::Wmv2WmaAsf,
                 fixtures::MovieKind::H264AacMp4}) {
            if (!fixtures::canEncode(kind))
                continue;
            fixtures::MovieRecipe recipe;
            recipe.kind = kind;
            std::string p = (dir_ / (std::string("movie") + fixtures::extensionOf(kind))).string();
            if (fixtures::writeMovie(p, recipe).empty())
                paths_[kind] = p;
        }
        fixtures::MovieRecipe sound;
        sound.withVideo = false;
        audioOnly = (dir_ / "sound.avi").string();
        if (!fixtures::writeMovie(audioOnly, sound).empty())
            audioOnly.clear();
        // The index still promises 3 s; the pictures and sound stop after about half of it.
        fixtures::MovieRecipe indexed;
        indexed.kind = fixtures::MovieKind::H264AacMp4;
        indexed.indexFirst = true;
        std::string whole = (dir_ / "whole.mp4").string();
        if (fixtures::canEncode(indexed.kind) && fixtures::writeMovie(whole, indexed).empty()) {
            truncated = (dir_ / "cut.mp4").string();
            std::string bytes = testing_support::readFile(whole);
            std::ofstream(truncated, std::ios::binary)
                .write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
        }
        text = (dir_ / "notes.avi").string();
        std::ofstream(text) << "This is not a movie.\r\nJust some text.\r\n";
    }
    ~Movies() { std::filesystem::remove_all(dir_); }

    std::filesystem::path dir_;
    std::map<fixtures::MovieKind, std::string> paths_;
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
        ASSERT_NE(sys.displays.backSurface, nullptr);
    }
    void TearDown() override
    {
        delete sys.displays.display;
        sys.displays.display = nullptr;
        platform::setDisplayDriver(nullptr);
    }

    testing_support::ScratchDir dir;
    testing_support::LogCapture log { dir };
    testing_support::RecordingWindow window { 640, 480 };
    platform::ScriptedDisplayDriver* driver = nullptr;
    sublumen::System sys;
};

}

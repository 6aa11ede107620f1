// The movies the playback suites share, encoded once per run in a scratch folder: 3 s at 10 frames per
// second, 176 × 144, a key frame every 12, in every kind this FFmpeg can encode, and the same movie with
// sound only. A suite adds its own odd files to the folder.
#pragma once

#include "movie_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

namespace testing_support {

class MovieSet {
public:
    MovieSet()
    {
        dir_ = std::filesystem::temp_directory_path() / ("sublumen-movies-" + std::to_string(::getpid()));
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
        audioOnly_ = (dir_ / "sound.avi").string();
        if (!fixtures::writeMovie(audioOnly_, sound).empty())
            audioOnly_.clear();
    }
    ~MovieSet() { std::filesystem::remove_all(dir_); }
    MovieSet(const MovieSet&) = delete;
    MovieSet& operator=(const MovieSet&) = delete;

    // Empty when this FFmpeg cannot encode the kind.
    std::string path(fixtures::MovieKind kind) const
    {
        auto found = paths_.find(kind);
        return found == paths_.end() ? std::string() : found->second;
    }
    // Empty when it could not be encoded.
    const std::string& audioOnly() const { return audioOnly_; }
    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::map<fixtures::MovieKind, std::string> paths_;
    std::string audioOnly_;
};

// Names the runs of a test repeated for each movie kind.
inline std::string movieKindName(const ::testing::TestParamInfo<fixtures::MovieKind>& info)
{
    switch (info.param) {
    case fixtures::MovieKind::Mpeg4PcmAvi:
        return "Mpeg4PcmAvi";
    case fixtures::MovieKind::Wmv2WmaAsf:
        return "Wmv2WmaAsf";
    case fixtures::MovieKind::H264AacMp4:
        return "H264AacMp4";
    case fixtures::MovieKind::Mpeg4PcmMkv:
        return "Mpeg4PcmMkv";
    case fixtures::MovieKind::Mpeg4Mp2Ts:
        return "Mpeg4Mp2Ts";
    case fixtures::MovieKind::H264Mp2Ts:
        return "H264Mp2Ts";
    case fixtures::MovieKind::Mpeg2Mp2Ts:
        return "Mpeg2Mp2Ts";
    }
    return "unknown";
}

}

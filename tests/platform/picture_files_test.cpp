#include "platform/picture_files.h"
#include "platform/user_folders.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/resource.h>

using testing_support::ScratchDir;

namespace {

// Sets an environment variable for one scope and puts the old value back.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const std::string& value)
        : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvironmentValue()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

uint32_t big32(const std::string& bytes, size_t at)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

std::shared_ptr<const platform::Surface> picture(int width, int height, platform::PixelFormat format)
{
    auto s = std::make_shared<platform::Surface>(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            platform::writePixel(*s, x, y, platform::packPixel(format, x * 9, y * 5, x ^ y));
    return s;
}

TEST(PicturesFolder, ReadsTheUserDirsFileAndFallsBackToPictures)
{
    ScratchDir dir;
    const std::string home = dir.file("home");
    EnvironmentValue homeValue("HOME", home);
    EnvironmentValue configValue("XDG_CONFIG_HOME", dir.file("config"));
    const struct {
        const char* file;  // null: no user-dirs.dirs
        std::string folder;
    } rows[] = {
        { nullptr, home + "/Pictures" },
        { "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", home + "/Bilder" },
        { "# XDG_PICTURES_DIR=\"$HOME/Old\"\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n", home + "/Pictures" },
        { "XDG_PICTURES_DIR=\"/srv/shared pictures/\"\r\n", "/srv/shared pictures" },
        { "XDG_PICTURES_DIR=\"$HOME/A\"\nXDG_PICTURES_DIR=\"$HOME/\\\"B\\\"\"\n", home + "/\"B\"" },
        { "XDG_PICTURES_DIR=\"relative/path\"\n", home + "/Pictures" },
        { "XDG_PICTURES_DIR=\"$HOMEWORK/x\"\n", home + "/Pictures" },
        { "XDG_PICTURES_DIR=\"$HOME\"\n", home },
    };
    for (const auto& row : rows) {
        std::filesystem::remove_all(dir.file("config"));
        if (row.file)
            dir.write("config/user-dirs.dirs", row.file);
        EXPECT_EQ(platform::picturesFolder(), row.folder) << (row.file ? row.file : "(no file)");
    }
}

TEST(PictureFileWriter, WritesNewNamesOnlyAndRemovesWhatItCannotWriteWhole)
{
    ScratchDir dir;
    const std::string folder = dir.path().string();
    dir.write("shot.png", "kept");
    dir.write("shot-1.png", "kept too");
    dir.write("plain-file", "");

    platform::PictureFileWriter writer(nullptr, 0);
    writer.submit({ picture(33, 17, platform::PixelFormat::RGB565), folder, "shot" });
    writer.submit({ picture(8, 5, platform::PixelFormat::XRGB8888), folder, "shot" });
    writer.submit({ picture(8, 5, platform::PixelFormat::XRGB8888), dir.file("plain-file"), "shot" });
    writer.waitIdle();
    std::vector<platform::PictureFileResult> results = writer.takeResults();
    ASSERT_EQ(results.size(), 3u);

    EXPECT_EQ(testing_support::readFile(dir.file("shot.png")), "kept");
    EXPECT_EQ(testing_support::readFile(dir.file("shot-1.png")), "kept too");
    const struct {
        std::string name;
        uint32_t width, height;
    } written[] = { { "shot-2.png", 33, 17 }, { "shot-3.png", 8, 5 } };
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(results[i].error, platform::PictureFileError::None) << results[i].reason;
        EXPECT_EQ(results[i].path, dir.file(written[i].name));
        const std::string png = testing_support::readFile(results[i].path);
        ASSERT_GT(png.size(), 24u);
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
        EXPECT_EQ(png.substr(12, 4), "IHDR");
        EXPECT_EQ(big32(png, 16), written[i].width);
        EXPECT_EQ(big32(png, 20), written[i].height);
    }
    // A folder that is a file: nothing written, the reason kept for the log.
    EXPECT_EQ(results[2].error, platform::PictureFileError::Io);
    EXPECT_FALSE(results[2].reason.empty());

    // A disk that fills up while the file is written: the part written is removed.
    rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    writer.submit({ picture(64, 64, platform::PixelFormat::XRGB8888), folder, "full" });
    writer.waitIdle();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    results = writer.takeResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].error, platform::PictureFileError::NoSpace);
    EXPECT_FALSE(std::filesystem::exists(dir.file("full.png")));
}

}

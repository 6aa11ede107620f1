#include "ui/desktop.h"

#include <gtest/gtest.h>

#include <string>

using namespace sublumen;

namespace {

struct AddressRow {
    const char* url;
    bool accepted;
    const char* path;
};

TEST(Desktop, FileAddressesTurnBackIntoThePathsBytes)
{
    const AddressRow rows[] = {
        { "file:///movies/a%20b.avi", true, "/movies/a b.avi" },
        { "file://localhost/movies/x.avi", true, "/movies/x.avi" },
        { "file:///%EC%97%B4%ea%b8%b0.mkv", true, "/\xEC\x97\xB4\xEA\xB8\xB0.mkv" },
        { "file:///plain/%25.avi", true, "/plain/%.avi" },
        { "https://example.org/a.avi", false, "" },
        { "file://otherhost/a.avi", false, "" },
        { "file:relative.avi", false, "" },
        { "file:///cut%2", false, "" },
        { "file:///bad%zz", false, "" },
        { "file:///nul%00after", false, "" },
    };
    for (const AddressRow& row : rows) {
        std::string path;
        EXPECT_EQ(pathOfFileUrl(row.url, path), row.accepted) << row.url;
        if (row.accepted) {
            EXPECT_EQ(path, row.path) << row.url;
        }
    }
}

TEST(Desktop, EveryByteOfAPathSurvivesTheAddress)
{
    std::string name = "/";
    for (int byte = 1; byte < 256; ++byte)
        name += static_cast<char>(byte);
    std::string path;
    ASSERT_TRUE(pathOfFileUrl(fileUrl(name.c_str()).c_str(), path));
    EXPECT_EQ(path, name);
}

}

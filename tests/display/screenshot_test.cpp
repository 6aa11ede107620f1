#include "display/screenshot.h"

#include <gtest/gtest.h>

#include <string>

using namespace sublumen;

namespace {

TEST(Screenshot, NamesTheFileAfterTheMovieFileAndTimeWithItsNameMadeSafe)
{
    const std::string longName(300 * 3, 'x');
    std::string hangul;
    for (int i = 0; i < 100; ++i)
        hangul += "가";  // three bytes each
    const struct {
        std::string path;
        uint32_t time;
        std::string name;
    } rows[] = {
        { "/movies/Movie.avi", 3723456, "Movie-01.02.03.456" },
        { "C:\\films\\film.part1.mkv", 0, "film.part1-00.00.00.000" },
        { "/m/clip\x01one\x7ftwo.avi", 59999, "clip_one_two-00.00.59.999" },
        { "/m/a\u2215b\uFF0Fc\\d.mp4", 1000, "d-00.00.01.000" },
        { "/m/a\u2215b\uFF0Fc\u2044d.mp4", 1000, "a_b_c_d-00.00.01.000" },
        { "/m/\u202Egpj.exe", 1000, "_gpj-00.00.01.000" },
        { "/m/.hidden.avi", 1000, "hidden-00.00.01.000" },
        { "/m/...", 1000, "movie-00.00.01.000" },
        { "", 360000000, "movie-100.00.00.000" },
        { "/m/\xC7\xD1\x01\xB1\xDB.avi", 1000, "\xC7\xD1_\xB1\xDB-00.00.01.000" },
        { "/m/" + hangul + ".avi", 1000, hangul.substr(0, 198) + "-00.00.01.000" },
        { "/m/" + longName, 1000, longName.substr(0, 199) + "-00.00.01.000" },
    };
    for (const auto& row : rows)
        EXPECT_EQ(screenshotName(row.path.c_str(), row.time), row.name) << row.path;
}

}

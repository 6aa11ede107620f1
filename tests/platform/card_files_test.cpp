#include "platform/card_files.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using testing_support::ScratchDir;

namespace {

std::string contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(CardFiles, AppendsWholeLinesAndTakesBackOneTheDiskCannotHold)
{
    // Fields never carry a tab or a line feed of their own, and their text is never read as markup.
    EXPECT_EQ(platform::cardLine({ "a\tb.mkv", "00:00:01.000", "괜찮아?\n<네> & 응\r\n끝" }, "a.mp3", "a.png"),
        "a b.mkv\t00:00:01.000\t괜찮아?<br>&lt;네&gt; &amp; 응<br>끝\t[sound:a.mp3]\t<img src=\"a.png\">");
    EXPECT_EQ(platform::cardLine({ "m" }, "", "\"x\".png"), "m\t\t<img src=\"&quot;x&quot;.png\">");

    ScratchDir dir;
    const std::string path = dir.write("cards.tsv", "older card\nedited by hand");
    platform::CardResult first = platform::appendCardLine(path, "one");
    ASSERT_EQ(first.error, platform::CardError::None);
    EXPECT_EQ(first.number, 3u);
    EXPECT_EQ(platform::appendCardLine(path, "two").number, 4u);
    const std::string whole = contents(path);
    EXPECT_EQ(whole, "older card\nedited by hand\none\ntwo\n");

    // A disk that fills up in the middle of the line: the file keeps only whole cards.
    rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = whole.size() + 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const platform::CardResult full = platform::appendCardLine(path, std::string(100, 'x'));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(full.error, platform::CardError::NoSpace);
    EXPECT_EQ(contents(path), whole);

    // A folder that cannot be written: the card says so, nothing is made.
    platform::CardJob job;
    job.folder = "/proc/sublumen-cards";
    job.picture = std::make_shared<platform::Surface>(8, 8, platform::PixelFormat::XRGB8888);
    EXPECT_NE(platform::writeCard(job).error, platform::CardError::None);
}

}

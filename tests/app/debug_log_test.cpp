#include "app/debug_log.h"

#include "support/log_capture.h"
#include "support/test_files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using namespace sublumen;
using testing_support::LogCapture;
using testing_support::readFile;
using testing_support::ScratchDir;

TEST(DebugLog, AppendsEachPieceUnchangedAndReturnsItsLength)
{
    ScratchDir dir;
    LogCapture log(dir);
    EXPECT_EQ(debugLog("%s : %d %u %x %X|%02d|%02X|%10u|\n", "a", -3, 4000000000u, 0xbeef, 0xbeef, 7, 10, 42u), 46);
    EXPECT_EQ(debugLog("\xb0\xa1\xb3\xaa %s", "\xed\x95\x9c"), 8);  // CP949 and UTF-8 bytes pass through.
    EXPECT_EQ(log.text(), "a : -3 4000000000 beef BEEF|07|0A|        42|\n\xb0\xa1\xb3\xaa \xed\x95\x9c");

    // The file is opened for every call, so a removed log starts again with the next line.
    std::filesystem::remove(dir.file("DEBUG.LOG"));
    debugLog("again\n");
    EXPECT_EQ(log.text(), "again\n");
}

TEST(DebugLog, LongOutputIsCutToTheBuffer)
{
    ScratchDir dir;
    LogCapture log(dir);
    std::string big(10000, 'x');
    EXPECT_EQ(debugLog("%s", big.c_str()), 8191);
    EXPECT_EQ(log.text(), big.substr(0, 8191));
}

TEST(DebugLog, WithoutALogFileNothingIsWritten)
{
    ScratchDir dir;
    std::string path = dir.file("DEBUG.LOG");
    setLogFile(path.c_str());
    setLogFile(nullptr);
    EXPECT_STREQ(logFilePath(), "");
    auto oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    debugLog("nowhere\n");
    std::filesystem::current_path(oldCwd);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(DebugLog, LogPathKeepsAtMost1023Characters)
{
    std::string longPath = "/" + std::string(2000, 'd');
    setLogFile(longPath.c_str());
    EXPECT_EQ(std::string(logFilePath()), longPath.substr(0, 1023));
    // A path that cannot be opened is skipped quietly.
    EXPECT_EQ(debugLog("lost\n"), 5);
    setLogFile(nullptr);
}

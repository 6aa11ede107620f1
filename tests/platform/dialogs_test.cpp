#include "platform/dialogs.h"
#include "platform/kernel.h"

#include "support/scripted_chooser.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using testing_support::CurrentDirectoryGuard;
using testing_support::EnvironmentOverride;
using testing_support::ScratchDir;
using testing_support::ScriptedChooser;

namespace {

std::string platformLines;

class FileOpenDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        platformLines.clear();
        platform::setLogSink([](const char* text) { platformLines += text; });
        std::filesystem::current_path(dir.path());
    }
    void TearDown() override { platform::setLogSink(nullptr); }

    BOOL open(const char* title, DWORD size = sizeof file)
    {
        OPENFILENAMEA record {};
        record.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
        record.lpstrFile = file;
        record.nMaxFile = size;
        record.lpstrFileTitle = fileTitle;
        record.nMaxFileTitle = sizeof fileTitle;
        record.lpstrTitle = title;
        record.Flags = OFN_EXPLORER | OFN_SHOWHELP;
        BOOL picked = GetOpenFileNameA(&record);
        offset = record.nFileOffset;
        extension = record.nFileExtension;
        return picked;
    }

    CurrentDirectoryGuard cwd;
    ScratchDir dir;
    char file[256] = "";
    char fileTitle[64] = "";
    WORD offset = 0;
    WORD extension = 0;
};

}

TEST_F(FileOpenDialog, OverrideGetsZenityArgumentsAsOneVectorAndItsAnswerIsReturned)
{
    ScriptedChooser chooser(dir, "/films/night.show/a.smi");
    EnvironmentOverride use("SUBLUMEN_FILE_CHOOSER", chooser.program());
    // Shell syntax in the title must reach the chooser as text.
    const char* title = "자막; touch pwned $(id) 'q\"";
    ASSERT_TRUE(open(title));

    EXPECT_STREQ(file, "/films/night.show/a.smi");
    EXPECT_STREQ(fileTitle, "a.smi");
    EXPECT_EQ(std::string(file + offset), "a.smi");
    EXPECT_EQ(std::string(file + extension), "smi");
    std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(chooser.arguments(),
        (std::vector<std::string> { "--file-selection", std::string("--title=") + title, "--filename=" + here + "/" }));
    EXPECT_EQ(chooser.workingDirectory(), here);
    EXPECT_FALSE(std::filesystem::exists(dir.file("pwned")));
}

TEST_F(FileOpenDialog, CancelTooLongAndMissingProgramsAllAnswerZero)
{
    {
        ScriptedChooser cancelling(dir, std::nullopt);
        EnvironmentOverride use("SUBLUMEN_FILE_CHOOSER", cancelling.program());
        EXPECT_FALSE(open("t"));
        EXPECT_TRUE(cancelling.wasRun());
        EXPECT_STREQ(file, "");
    }
    {
        ScriptedChooser longAnswer(dir, "/" + std::string(300, 'x'), "long");
        EnvironmentOverride use("SUBLUMEN_FILE_CHOOSER", longAnswer.program());
        EXPECT_FALSE(open("t"));
        EXPECT_NE(platformLines.find("longer than 255 characters"), std::string::npos);
    }
    {
        EnvironmentOverride use("SUBLUMEN_FILE_CHOOSER", dir.file("no-such-chooser"));
        EXPECT_FALSE(open("t"));
        EXPECT_NE(platformLines.find("file chooser " + dir.file("no-such-chooser") + " not found"), std::string::npos);
    }
    {
        EnvironmentOverride noOverride("SUBLUMEN_FILE_CHOOSER", std::nullopt);
        EnvironmentOverride emptyPath("PATH", dir.path().string());
        EXPECT_FALSE(open("t"));
        EXPECT_NE(platformLines.find("GetOpenFileNameA: no file chooser installed (zenity or kdialog)\n"),
            std::string::npos);
    }
}

TEST_F(FileOpenDialog, ZenityIsPreferredAndKdialogGetsItsOwnArguments)
{
    EnvironmentOverride noOverride("SUBLUMEN_FILE_CHOOSER", std::nullopt);
    std::string here = std::filesystem::current_path().string();
    ScriptedChooser kdialog(dir, "/k/picked.avi", "kdialog");
    {
        EnvironmentOverride path("PATH", kdialog.binDirectory());
        ASSERT_TRUE(open("Pick one"));
        EXPECT_STREQ(file, "/k/picked.avi");
        EXPECT_EQ(kdialog.arguments(), (std::vector<std::string> { "--title", "Pick one", "--getopenfilename", here }));
    }
    ScriptedChooser zenity(dir, "/z/picked.avi", "zenity");
    EnvironmentOverride path("PATH", zenity.binDirectory());
    ASSERT_TRUE(open("Pick one"));
    EXPECT_STREQ(file, "/z/picked.avi");
    EXPECT_EQ(zenity.arguments().at(0), "--file-selection");
}

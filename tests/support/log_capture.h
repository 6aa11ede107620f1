// Points the debug log at a scratch file for one test and gives back what was written.
#pragma once

#include "app/debug_log.h"
#include "support/test_files.h"

#include <string>

namespace testing_support {

class LogCapture {
public:
    explicit LogCapture(const ScratchDir& dir)
        : path_(dir.file("DEBUG.LOG"))
    {
        std::filesystem::remove(path_);
        sublumen::setLogFile(path_.c_str());
    }
    ~LogCapture() { sublumen::setLogFile(nullptr); }

    std::string text() const { return readFile(path_); }

private:
    std::string path_;
};

}

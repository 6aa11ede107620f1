// A file-chooser program written at test time in place of the desktop's: it records the arguments it
// was given and the directory it ran in, then prints a fixed answer or cancels with status 1.
#pragma once

#include "support/test_files.h"

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace testing_support {

class ScriptedChooser {
public:
    // answer: the path the chooser prints; none makes it cancel. name: the program's file name.
    ScriptedChooser(const ScratchDir& dir, std::optional<std::string> answer, const std::string& name = "chooser")
        : record_(dir.file(name + ".args"))
        , cwdRecord_(dir.file(name + ".cwd"))
    {
        std::string script = "#!/bin/sh\npwd > '" + cwdRecord_ + "'\n: > '" + record_ + "'\n"
            "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + record_ + "'; done\n";
        script += answer ? "printf '%s\\n' '" + *answer + "'\n" : std::string("exit 1\n");
        program_ = dir.write("bin/" + name, script);
        ::chmod(program_.c_str(), 0755);
    }

    const std::string& program() const { return program_; }
    std::string binDirectory() const { return program_.substr(0, program_.rfind('/')); }
    bool wasRun() const { return std::filesystem::exists(record_); }
    std::vector<std::string> arguments() const
    {
        std::vector<std::string> lines;
        std::istringstream in(readFile(record_));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    std::string workingDirectory() const
    {
        std::string text = readFile(cwdRecord_);
        return text.empty() ? text : text.substr(0, text.size() - 1);
    }

private:
    std::string record_;
    std::string cwdRecord_;
    std::string program_;
};

// Sets (or, with none, removes) one environment variable for the life of the object.
class EnvironmentOverride {
public:
    EnvironmentOverride(const char* name, std::optional<std::string> value)
        : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~EnvironmentOverride()
    {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Restores the process's current directory when the test is done with it.
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard()
        : saved_(std::filesystem::current_path())
    {
    }
    ~CurrentDirectoryGuard() { std::filesystem::current_path(saved_); }

private:
    std::filesystem::path saved_;
};

}

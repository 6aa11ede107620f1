#include "platform/settings_file.h"

#include "platform/kernel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>

namespace platform {

namespace {

// Far above any real settings file; a larger file is not a settings file.
constexpr long maxFileSize = 1 << 22;

constexpr const char* temporaryPrefix = ".settings-";

// Reports an unusable file once per process, however often the key is opened.
void reportUnusable(const std::string& path, const char* why)
{
    static std::set<std::string> reported;
    if (reported.insert(path).second)
        platformLog("Registry: %s is ignored: %s.\n", path.c_str(), why);
}

}

SettingsFileState readSettingsFile(const std::string& path, std::vector<SettingsValue>& values, std::string& text)
{
    values.clear();
    text.clear();
    // Non-blocking so that a pipe in the file's place cannot hang the start; regular files never block anyway.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        if (errno == ENOENT || errno == ENOTDIR)
            return SettingsFileState::Missing;
        reportUnusable(path, std::strerror(errno));
        return SettingsFileState::Unreadable;
    }
    struct stat info;
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        reportUnusable(path, "not a regular file");
        return SettingsFileState::Unreadable;
    }
    if (info.st_size > maxFileSize) {
        reportUnusable(path, "too large");
        return SettingsFileState::Unreadable;
    }
    text.resize(static_cast<size_t>(info.st_size));
    for (size_t got = 0; got < text.size();) {
        ssize_t n = ::read(file.get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            reportUnusable(path, n < 0 ? std::strerror(errno) : "read error");
            text.clear();
            return SettingsFileState::Unreadable;
        }
        got += static_cast<size_t>(n);
    }

    size_t badLine = 0;
    if (!parseSettingsText(text, values, badLine)) {
        char why[64];
        std::snprintf(why, sizeof why, "line %zu is not a value", badLine);
        reportUnusable(path, why);
        return SettingsFileState::Damaged;
    }
    return SettingsFileState::Loaded;
}

bool makeDirectories(const std::string& directory)
{
    for (size_t at = 1; at <= directory.size(); ++at) {
        if (at < directory.size() && directory[at] != '/')
            continue;
        std::string part = directory.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info;
    return stat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string directoryPart(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

SaveLock::SaveLock(const std::string& directory)
    : folder_(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    int rc = -1;
    while (folder_.valid() && (rc = flock(folder_.get(), LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc != 0)
        folder_.close();
}

void removeAbandonedTemporaries(const std::string& directory)
{
    DirectoryHandle folder(opendir(directory.c_str()));
    if (!folder)
        return;
    while (const dirent* entry = readdir(folder.get())) {
        if (std::strncmp(entry->d_name, temporaryPrefix, std::strlen(temporaryPrefix)) == 0
            && std::strlen(entry->d_name) == std::strlen(temporaryPrefix) + 6)
            unlinkat(dirfd(folder.get()), entry->d_name, 0);
    }
}

bool replaceFile(const std::string& directory, const std::string& target, const std::string& text, int& error)
{
    std::string temporary = directory + "/" + temporaryPrefix + "XXXXXX";
    FileDescriptor file(mkstemp(temporary.data()));
    if (!file.valid()) {
        error = errno;
        return false;
    }
    bool written = true;
    for (size_t at = 0; written && at < text.size();) {
        ssize_t n = ::write(file.get(), text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        if (written)
            at += static_cast<size_t>(n);
    }
    error = errno;
    written = written && fsync(file.get()) == 0;
    if (!written)
        error = errno;
    if (file.close() != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && std::rename(temporary.c_str(), target.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename is durable once the directory is on disk too.
    FileDescriptor folder(::open(directory.c_str(), O_RDONLY | O_DIRECTORY));
    if (folder.valid())
        fsync(folder.get());
    return true;
}

}

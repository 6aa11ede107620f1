#include "platform/file_saving.h"

#include "platform/kernel.h"
#include "platform/owned_handles.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

FileSave failed(int errnum)
{
    FileSave save;
    save.errnum = errnum;
    switch (errnum) {
    case EACCES:
    case EPERM:
    case EROFS:
        save.error = FileSaveError::NotPermitted;
        break;
    case ENOSPC:
    case EDQUOT:
        save.error = FileSaveError::NoSpace;
        break;
    case EEXIST:
        save.error = FileSaveError::Exists;
        break;
    default:
        save.error = FileSaveError::Io;
        break;
    }
    return save;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new file of a name no one uses in folder, created with mode under the process's umask.
FileDescriptor createTemporary(const std::string& folder, mode_t mode, std::string& temporary)
{
    static std::atomic<unsigned> made { 0 };
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "/.sublumen-save-%d-%u", static_cast<int>(getpid()), made.fetch_add(1));
        temporary = folder + name;
        FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (file.valid() || errno != EEXIST)
            return file;
    }
    return FileDescriptor();
}

// Writes bytes to a new temporary file in folder, forced to the disk, with the permissions mode (exactly,
// when exact; else under the umask, as any new file); its name in temporary. 0, or the error's code (the
// file is gone then).
enum class Permissions { Exact, UnderUmask };
int writeTemporary(
    const std::string& folder, std::string_view bytes, mode_t mode, Permissions permissions, std::string& temporary)
{
    FileDescriptor file = createTemporary(folder, permissions == Permissions::Exact ? 0600 : mode, temporary);
    if (!file.valid())
        return errno;
    int error = 0;
    for (size_t at = 0; !error && at < bytes.size();) {
        const ssize_t n = ::write(file.get(), bytes.data() + at, bytes.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? errno : EIO;
        else
            at += static_cast<size_t>(n);
    }
    if (!error && permissions == Permissions::Exact && fchmod(file.get(), mode) != 0)
        error = errno;
    if (!error && fsync(file.get()) != 0)
        error = errno;
    if (file.close() != 0 && !error)
        error = errno;
    if (error)
        ::unlink(temporary.c_str());
    return error;
}

void syncFolder(const std::string& folder)
{
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.valid())
        fsync(directory.get());
}

}

bool readWholeFile(const std::string& path, std::string& bytes)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info;
    if (!file.valid() || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

FileSave replaceFileKeepingOriginal(const std::string& path, std::string_view bytes, const char* originalSuffix)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return failed(errno);
    if (!S_ISREG(info.st_mode))
        return failed(EINVAL);
    const std::string folder = folderOf(path);
    const std::string original = path + originalSuffix;
    bool keptOriginal = false;
    struct stat originalInfo;
    if (::lstat(original.c_str(), &originalInfo) == 0) {
        if (!S_ISREG(originalInfo.st_mode)) {
            FileSave save;
            save.error = FileSaveError::OriginalNotFile;
            return save;
        }
    } else if (errno != ENOENT) {
        return failed(errno);
    } else if (::link(path.c_str(), original.c_str()) == 0) {
        keptOriginal = true;
    } else if (errno == EEXIST) {
        // Made meanwhile by someone else: theirs is the first original.
    } else if (errno == EPERM || errno == EXDEV || errno == EOPNOTSUPP || errno == EMLINK) {
        // A file system without hard links keeps a copy.
        std::string old;
        if (!readWholeFile(path, old))
            return failed(errno ? errno : EIO);
        std::string copy;
        if (int error = writeTemporary(folder, old, info.st_mode & 07777, Permissions::Exact, copy))
            return failed(error);
        if (renameFile(copy.c_str(), original.c_str()) != 0) {
            const int error = errno;
            ::unlink(copy.c_str());
            if (error != EEXIST)
                return failed(error);
        } else {
            keptOriginal = true;
        }
    } else {
        return failed(errno);
    }
    std::string temporary;
    int error = writeTemporary(folder, bytes, info.st_mode & 07777, Permissions::Exact, temporary);
    if (!error && std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
        ::unlink(temporary.c_str());
    }
    if (error) {
        if (keptOriginal)
            ::unlink(original.c_str());
        return failed(error);
    }
    syncFolder(folder);
    FileSave save;
    save.keptOriginal = keptOriginal;
    return save;
}

FileSave writeNewFile(const std::string& path, std::string_view bytes)
{
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0)
        return failed(EEXIST);
    const std::string folder = folderOf(path);
    std::string temporary;
    if (int error = writeTemporary(folder, bytes, 0666, Permissions::UnderUmask, temporary))
        return failed(error);
    if (renameFile(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return failed(error);
    }
    syncFolder(folder);
    return {};
}

}

// Owning handles for the C resources of the platform layer: a deleter for pointer handles, a directory
// listing, and a move-only file descriptor.
#pragma once

#include <dirent.h>
#include <memory>
#include <unistd.h>
#include <utility>

namespace platform {

template<auto Free> struct Deleter {
    template<typename T> void operator()(T* p) const { Free(p); }
};
using DirectoryHandle = std::unique_ptr<DIR, Deleter<closedir>>;

// An open file descriptor, closed when the owner goes. close() is there for the callers that must know
// whether the close succeeded (a write is only safe once its close did).
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1)
        : fd_(fd)
    {
    }
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept
        : fd_(std::exchange(other.fd_, -1))
    {
    }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes the descriptor now; the result of close(2), or 0 when there was none.
    int close() { return fd_ >= 0 ? ::close(std::exchange(fd_, -1)) : 0; }

private:
    int fd_;
};

}

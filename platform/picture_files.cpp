#include "platform/picture_files.h"

#include "platform/mmstream/png_encoder.h"
#include "platform/window/window.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// Buffers kept for the next pictures; enough for a copy while one is being written.
constexpr size_t spareBuffers = 2;

// Past this many taken names something other than a burst of pictures is going on.
constexpr int nameAttempts = 1000;

PictureFileError errorOf(int code)
{
    switch (code) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return PictureFileError::NoSpace;
    case EACCES:
    case EPERM:
    case EROFS:
        return PictureFileError::NotPermitted;
    default:
        return PictureFileError::Io;
    }
}

PictureFileResult failure(std::string path, int code)
{
    return {std::move(path), errorOf(code), std::strerror(code)};
}

bool writeAll(int fd, const uint8_t* data, size_t size, int& code)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            code = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}

PictureFileResult writeNewFile(const std::string& folder, const std::string& name, const std::string& suffix,
    const std::vector<uint8_t>& bytes)
{
    const std::string stem = folder + "/" + name;
    std::string path = stem + suffix;
    int fd = -1;
    for (int attempt = 1; attempt <= nameAttempts; ++attempt) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            break;
        path = stem + "-" + std::to_string(attempt) + suffix;
    }
    if (fd < 0)
        return failure(path, errno);
    int code = 0;
    bool written = writeAll(fd, bytes.data(), bytes.size(), code);
    // Some file systems report a full disk only when the file is closed.
    if (::close(fd) != 0 && written) {
        written = false;
        code = errno;
    }
    if (!written) {
        ::unlink(path.c_str());
        return failure(path, code);
    }
    return {path, PictureFileError::None, ""};
}

PictureFileResult writeNewPictureFile(const std::string& folder, const std::string& name,
    const std::vector<uint8_t>& png)
{
    return writeNewFile(folder, name, ".png", png);
}

PictureFileWriter::PictureFileWriter(HWND window, UINT message)
    : window_(window)
    , message_(message)
    , worker_([this] { run(); })
{
}

PictureFileWriter::~PictureFileWriter()
{
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

std::shared_ptr<Surface> PictureFileWriter::pictureBuffer(int width, int height, PixelFormat format)
{
    std::unique_ptr<Surface> buffer;
    {
        std::lock_guard lock(pool_->mutex);
        for (auto& spare : pool_->spares) {
            if (spare->width == width && spare->height == height && spare->format == format) {
                buffer = std::move(spare);
                spare = std::move(pool_->spares.back());
                pool_->spares.pop_back();
                break;
            }
        }
    }
    if (!buffer)
        buffer = std::make_unique<Surface>(width, height, format);
    // The last owner, on whichever thread, gives the buffer back under the pool's lock.
    return std::shared_ptr<Surface>(buffer.release(), [pool = pool_](Surface* surface) {
        std::unique_ptr<Surface> owned(surface);
        std::lock_guard lock(pool->mutex);
        if (pool->spares.size() < spareBuffers)
            pool->spares.push_back(std::move(owned));
    });
}

void PictureFileWriter::submit(PictureFileJob job)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < queueLimit; });
    queue_.push_back(std::move(job));
    lock.unlock();
    changed_.notify_all();
}

std::vector<PictureFileResult> PictureFileWriter::takeResults()
{
    std::lock_guard lock(mutex_);
    return std::exchange(results_, {});
}

void PictureFileWriter::waitIdle()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void PictureFileWriter::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || !queue_.empty(); });
        if (queue_.empty())
            return;
        PictureFileJob job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        changed_.notify_all();

        std::vector<uint8_t> png;
        PictureFileResult result;
        if (job.picture && encodePng(*job.picture, png))
            result = writeNewPictureFile(job.folder, job.name, png);
        else
            result = {job.folder + "/" + job.name + ".png", PictureFileError::Encoding, "the encoder failed"};
        job.picture.reset();

        lock.lock();
        results_.push_back(std::move(result));
        busy_ = false;
        lock.unlock();
        changed_.notify_all();
        if (window_)
            postMessageFromThread(window_, message_, 0, 0);
        lock.lock();
    }
}

}

// Pictures saved as PNG files on a worker thread of their own, so that encoding and writing never hold
// up the caller. The caller hands over a copy of the pixels and later takes the results.
#pragma once

#include "platform/surface.h"
#include "platform/win32.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

struct PictureFileJob {
    // Shared, read only: one copy may serve several files.
    std::shared_ptr<const Surface> picture;
    // An existing folder, and the file name without ".png".
    std::string folder;
    std::string name;
};

enum class PictureFileError { None, Encoding, NoSpace, NotPermitted, Io };

struct PictureFileResult {
    // The file written; on failure the name it was to have.
    std::string path;
    PictureFileError error = PictureFileError::None;
    // The operating system's reason, for the log; empty on success.
    std::string reason;
};

class PictureFileWriter {
public:
    // After each file, written or not, window (when not null) is sent message from the worker thread.
    PictureFileWriter(HWND window, UINT message);
    // Writes what is still queued, then ends the worker.
    ~PictureFileWriter();
    PictureFileWriter(const PictureFileWriter&) = delete;
    PictureFileWriter& operator=(const PictureFileWriter&) = delete;

    // A surface of that size and format to copy a picture into, for submit. Buffers of pictures already
    // written come back here, so that a copy seldom costs the kernel fresh pages to clear.
    std::shared_ptr<Surface> pictureBuffer(int width, int height, PixelFormat format);
    // Queues a file. The queue is bounded: while it is full the call waits for the worker to take a job,
    // so a burst of requests costs time, never memory or files.
    void submit(PictureFileJob job);
    // The results since the last call, in the order of submission.
    std::vector<PictureFileResult> takeResults();
    // Waits until every queued file is written or has failed.
    void waitIdle();

    static constexpr size_t queueLimit = 4;

private:
    struct BufferPool {
        std::mutex mutex;
        std::vector<std::unique_ptr<Surface>> spares;
    };
    void run();

    std::shared_ptr<BufferPool> pool_ = std::make_shared<BufferPool>();
    HWND window_;
    UINT message_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<PictureFileJob> queue_;
    std::vector<PictureFileResult> results_;
    bool busy_ = false;
    bool ending_ = false;
    std::thread worker_;
};

// Writes bytes as folder/name+suffix, or name-1+suffix, name-2+suffix … when the name is taken: a file
// is created only where none exists, never replaced. A file that cannot be written whole is removed.
PictureFileResult writeNewFile(const std::string& folder, const std::string& name, const std::string& suffix,
    const std::vector<uint8_t>& bytes);

// Writes png as folder/name.png, or name-1.png, name-2.png … when the name is taken: a file is created
// only where none exists, never replaced. A file that cannot be written whole is removed.
PictureFileResult writeNewPictureFile(const std::string& folder, const std::string& name,
    const std::vector<uint8_t>& png);

}

#include "platform/card_files.h"

#include "platform/mmstream/card_media.h"
#include "platform/mmstream/png_encoder.h"
#include "platform/picture_files.h"
#include "platform/user_folders.h"
#include "platform/window/window.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

CardError errorOf(int code)
{
    switch (code) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return CardError::NoSpace;
    case EACCES:
    case EPERM:
    case EROFS:
        return CardError::NotPermitted;
    default:
        return CardError::Io;
    }
}

CardError errorOf(PictureFileError error)
{
    switch (error) {
    case PictureFileError::None:
        return CardError::None;
    case PictureFileError::NoSpace:
        return CardError::NoSpace;
    case PictureFileError::NotPermitted:
        return CardError::NotPermitted;
    default:
        return CardError::Io;
    }
}

CardResult failed(CardError error, std::string path, std::string reason)
{
    CardResult result;
    result.error = error;
    result.path = std::move(path);
    result.reason = std::move(reason);
    return result;
}

// The file's last name, as the card's line names it (the media folder is flat).
std::string fileName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The cards in the file from fd: its lines that hold something.
size_t countCards(int fd)
{
    size_t cards = 0;
    bool filled = false;
    char buffer[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == '\n') {
                cards += filled;
                filled = false;
            } else if (buffer[i] != '\r') {
                filled = true;
            }
        }
        offset += n;
    }
    return cards + filled;
}

bool writeAll(int fd, const char* data, size_t size, int& code)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
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

std::string cardField(std::string_view text)
{
    std::string field;
    field.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '&':
            field += "&amp;";
            break;
        case '<':
            field += "&lt;";
            break;
        case '>':
            field += "&gt;";
            break;
        case '"':
            field += "&quot;";
            break;
        case '\t':
            field += ' ';
            break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n')
                break;
            field += "<br>";
            break;
        case '\n':
            field += "<br>";
            break;
        default:
            field += c;
            break;
        }
    }
    return field;
}

std::string cardLine(const std::vector<std::string>& fields, const std::string& soundFile,
    const std::string& pictureFile)
{
    std::string line;
    for (const std::string& f : fields)
        line += cardField(f) + '\t';
    if (!soundFile.empty())
        line += "[sound:" + cardField(soundFile) + "]";
    line += "\t<img src=\"" + cardField(pictureFile) + "\">";
    return line;
}

CardResult appendCardLine(const std::string& path, const std::string& line)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return failed(errorOf(errno), path, std::strerror(errno));
    // Another player saving a card at the same moment waits here; the lock goes with the descriptor.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int code = errno;
        ::close(fd);
        return failed(errorOf(code), path, std::strerror(code));
    }
    std::string text;
    // A file whose last line has no line feed (edited by hand) gets one, so the card is a line of its own.
    char last = '\n';
    if (status.st_size > 0 && ::pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n')
        text += '\n';
    text += line;
    text += '\n';
    int code = 0;
    bool written = writeAll(fd, text.data(), text.size(), code);
    if (written && ::fsync(fd) != 0) {
        written = false;
        code = errno;
    }
    if (!written) {
        // Whatever part of the line reached the file goes again, so the file holds whole cards only.
        if (::ftruncate(fd, status.st_size) != 0)
            code = code ? code : errno;
        ::close(fd);
        return failed(errorOf(code), path, std::strerror(code));
    }
    CardResult result;
    result.path = path;
    result.number = countCards(fd);
    ::close(fd);
    return result;
}

CardResult writeCard(const CardJob& job)
{
    const std::string media = job.folder + "/media";
    if (!makeFolders(media))
        return failed(errorOf(errno), media, std::strerror(errno));

    // The picture first: it is what a card cannot be without.
    std::vector<uint8_t> png;
    Surface grabbed;
    const Surface* picture = job.picture.get();
    if (!picture) {
        std::string reason;
        if (!grabMoviePicture(job.moviePath, job.pictureTime, grabbed, reason))
            return failed(CardError::Picture, job.moviePath, reason);
        picture = &grabbed;
    }
    if (!encodePng(*picture, png))
        return failed(CardError::Picture, job.moviePath, "the PNG encoder failed");

    SoundClip clip;
    const SoundClipOutcome sound = cutSoundClip(job.moviePath, job.audioStream, job.start, job.end, clip);
    if (sound == SoundClipOutcome::Failed)
        return failed(CardError::Sound, job.moviePath, clip.reason);

    std::string soundPath;
    if (sound == SoundClipOutcome::Made) {
        PictureFileResult written = writeNewFile(media, job.name, clip.suffix, clip.file);
        if (written.error != PictureFileError::None)
            return failed(errorOf(written.error), written.path, written.reason);
        soundPath = written.path;
    }
    PictureFileResult shot = writeNewFile(media, job.name, ".png", png);
    if (shot.error != PictureFileError::None) {
        if (!soundPath.empty())
            ::unlink(soundPath.c_str());
        return failed(errorOf(shot.error), shot.path, shot.reason);
    }

    const std::string line = cardLine(job.fields, soundPath.empty() ? "" : fileName(soundPath), fileName(shot.path));
    CardResult result = appendCardLine(job.folder + "/cards.tsv", line);
    if (result.error != CardError::None) {
        // No line names them: they would only be in the way.
        if (!soundPath.empty())
            ::unlink(soundPath.c_str());
        ::unlink(shot.path.c_str());
        return result;
    }
    result.silent = sound == SoundClipOutcome::NoSound;
    return result;
}

CardWriter::CardWriter(HWND window, UINT message)
    : window_(window)
    , message_(message)
    , worker_([this] { run(); })
{
}

CardWriter::~CardWriter()
{
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

bool CardWriter::submit(CardJob job)
{
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= queueLimit)
            return false;
        queue_.push_back(std::move(job));
    }
    changed_.notify_all();
    return true;
}

std::vector<CardResult> CardWriter::takeResults()
{
    std::lock_guard lock(mutex_);
    return std::exchange(results_, {});
}

void CardWriter::waitIdle()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void CardWriter::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || !queue_.empty(); });
        if (queue_.empty())
            return;
        CardJob job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();

        CardResult result = writeCard(job);
        result.id = job.id;
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

#include "platform/registry.h"

#include "platform/hex_digit.h"
#include "platform/kernel.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <set>
#include <string_view>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

// The settings file is plain text, one value per line as "NAME TYPE DATA":
//   fontsize dword 24
//   lastmovie sz /home/me/movies/a%20b.avi
//   odd hex:3 01ff
// "dword" holds exactly four bytes as an unsigned decimal; "sz" holds a text whose stored data is its bytes
// plus the terminator; "hex:N" holds any other data of type N as pairs of hex digits. Names and texts keep
// every byte: control bytes, space, "%", "#" and DEL are written as %XX, everything else as it is. Blank
// lines and lines starting with "#" are comments. Any other line makes the whole file unusable, so that a
// damaged file never yields half of its values.

struct RegistryKey {
    struct Value {
        std::string name;
        DWORD type = 0;
        std::string data;
    };

    bool isRoot = false;
    bool writable = false;
    // Values were set, or the key was created: the file is written on close.
    bool changed = false;
    // The file was there but could not be read: whatever it holds, it is never replaced.
    bool unreadable = false;
    // The bytes of a file that was read but is damaged; they are kept beside the new file before it replaces them.
    std::string damagedText;
    std::string path;
    std::vector<Value> values;  // In the order first set, which is the order of the file.

    Value* find(std::string_view name)
    {
        for (Value& v : values)
            if (v.name == name)
                return &v;
        return nullptr;
    }
};

namespace {

RegistryKey currentUserRoot { true };

constexpr const char* sublumenKey = "Software\\Sublumen";
constexpr DWORD keySetValue = 0x0002;
// Far above any real settings file; a larger file is not a settings file.
constexpr long maxFileSize = 1 << 22;

// Unreadable: there is a file that could not be read (no permission, not a regular file, too large, read
// error). Damaged: it was read but is not a settings file.
enum class FileState { Missing, Loaded, Unreadable, Damaged };

bool needsEscape(unsigned char c)
{
    return c <= 0x20 || c == 0x7F || c == '%' || c == '#';
}

void appendEscaped(std::string& out, std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    for (unsigned char c : bytes) {
        if (needsEscape(c)) {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
}

using platform::hexDigit;

bool unescape(std::string_view text, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            int high = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
            int low = high >= 0 ? hexDigit(text[i + 2]) : -1;
            if (low < 0)
                return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (needsEscape(c)) {
            return false;
        } else {
            out += static_cast<char>(c);
        }
    }
    return true;
}

bool parseUnsigned(std::string_view text, uint64_t limit, uint64_t& value)
{
    if (text.empty() || text.size() > 20)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > limit)
            return false;
    }
    return true;
}

bool parseLine(std::string_view line, RegistryKey::Value& value)
{
    size_t firstSpace = line.find(' ');
    if (firstSpace == std::string_view::npos)
        return false;
    size_t secondSpace = line.find(' ', firstSpace + 1);
    std::string_view name = line.substr(0, firstSpace);
    std::string_view type = line.substr(firstSpace + 1,
        secondSpace == std::string_view::npos ? std::string_view::npos : secondSpace - firstSpace - 1);
    // Editors may strip the space before empty data.
    std::string_view data = secondSpace == std::string_view::npos ? std::string_view() : line.substr(secondSpace + 1);

    if (!unescape(name, value.name))
        return false;
    if (type == "dword") {
        uint64_t number;
        if (!parseUnsigned(data, 0xFFFFFFFFu, number))
            return false;
        auto n = static_cast<uint32_t>(number);
        value.type = REG_DWORD;
        value.data.assign(reinterpret_cast<const char*>(&n), sizeof n);
        return true;
    }
    if (type == "sz") {
        if (!unescape(data, value.data) || value.data.find('\0') != std::string::npos)
            return false;
        value.type = REG_SZ;
        value.data += '\0';
        return true;
    }
    if (type.substr(0, 4) == "hex:") {
        uint64_t number;
        if (!parseUnsigned(type.substr(4), 0xFFFFFFFFu, number) || data.size() % 2 != 0)
            return false;
        value.type = static_cast<DWORD>(number);
        value.data.clear();
        for (size_t i = 0; i < data.size(); i += 2) {
            int high = hexDigit(data[i]);
            int low = hexDigit(data[i + 1]);
            if (high < 0 || low < 0)
                return false;
            value.data += static_cast<char>(high * 16 + low);
        }
        return true;
    }
    return false;
}

std::string formatValue(const RegistryKey::Value& value)
{
    std::string line;
    appendEscaped(line, value.name);
    const std::string& data = value.data;
    if (value.type == REG_DWORD && data.size() == 4) {
        uint32_t n;
        std::memcpy(&n, data.data(), sizeof n);
        line += " dword " + std::to_string(n);
    } else if (value.type == REG_SZ && !data.empty() && data.find('\0') == data.size() - 1) {
        line += " sz ";
        appendEscaped(line, std::string_view(data).substr(0, data.size() - 1));
    } else {
        static const char digits[] = "0123456789abcdef";
        line += " hex:" + std::to_string(value.type) + ' ';
        for (unsigned char c : data) {
            line += digits[c >> 4];
            line += digits[c & 15];
        }
    }
    line += '\n';
    return line;
}

// Reports an unusable file once per process, however often the key is opened.
void reportUnusable(const std::string& path, const char* why)
{
    static std::set<std::string> reported;
    if (reported.insert(path).second)
        platform::platformLog("Registry: %s is ignored: %s.\n", path.c_str(), why);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : fd_(fd)
    {
    }
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads the key's file into values; text keeps the bytes read, so a damaged file can be kept aside as it was.
FileState readKeyFile(const std::string& path, std::vector<RegistryKey::Value>& values, std::string& text)
{
    values.clear();
    text.clear();
    // Non-blocking so that a pipe in the file's place cannot hang the start; regular files never block anyway.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return FileState::Missing;
        reportUnusable(path, std::strerror(errno));
        return FileState::Unreadable;
    }
    struct stat info;
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        reportUnusable(path, "not a regular file");
        return FileState::Unreadable;
    }
    if (info.st_size > maxFileSize) {
        reportUnusable(path, "too large");
        return FileState::Unreadable;
    }
    text.resize(static_cast<size_t>(info.st_size));
    for (size_t got = 0; got < text.size();) {
        ssize_t n = ::read(file.get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            reportUnusable(path, n < 0 ? std::strerror(errno) : "read error");
            text.clear();
            return FileState::Unreadable;
        }
        got += static_cast<size_t>(n);
    }

    size_t lineNumber = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + at, end - at);
        at = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        RegistryKey::Value value;
        if (!parseLine(line, value)) {
            char why[64];
            std::snprintf(why, sizeof why, "line %zu is not a value", lineNumber);
            reportUnusable(path, why);
            values.clear();
            return FileState::Damaged;
        }
        // A name given twice keeps its last value, as a second set would.
        auto same = std::find_if(values.begin(), values.end(), [&](auto& v) { return v.name == value.name; });
        if (same != values.end())
            *same = std::move(value);
        else
            values.push_back(std::move(value));
    }
    return FileState::Loaded;
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

constexpr const char* temporaryPrefix = ".settings-";

// Saves hold this lock on the settings folder for as long as their temporary file exists, so a temporary
// file found by the holder belongs to a save that was killed half-way; the lock goes with the process
// that held it.
class SaveLock {
public:
    explicit SaveLock(const std::string& directory)
        : fd_(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        int rc = -1;
        while (fd_ >= 0 && (rc = flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (fd_ >= 0 && rc != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~SaveLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_;
};

void removeAbandonedTemporaries(const std::string& directory)
{
    DIR* folder = opendir(directory.c_str());
    if (!folder)
        return;
    while (const dirent* entry = readdir(folder)) {
        if (std::strncmp(entry->d_name, temporaryPrefix, std::strlen(temporaryPrefix)) == 0
            && std::strlen(entry->d_name) == std::strlen(temporaryPrefix) + 6)
            unlinkat(dirfd(folder), entry->d_name, 0);
    }
    closedir(folder);
}

// Writes text to a temporary file in directory, forces it to disk and renames it over target, so target
// is either its old self or the whole new text. False with error set when that could not be done.
bool replaceFile(const std::string& directory, const std::string& target, const std::string& text, int& error)
{
    std::string temporary = directory + "/" + temporaryPrefix + "XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = errno;
        return false;
    }
    bool written = true;
    for (size_t at = 0; written && at < text.size();) {
        ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        if (written)
            at += static_cast<size_t>(n);
    }
    error = errno;
    written = written && fsync(fd) == 0;
    if (!written)
        error = errno;
    if (::close(fd) != 0 && written) {
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
    int directoryFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (directoryFd >= 0) {
        fsync(directoryFd);
        ::close(directoryFd);
    }
    return true;
}

// Writes the values to a temporary file beside path, forces it to disk and renames it over path.
LONG writeKeyFile(const RegistryKey& key)
{
    if (key.unreadable) {
        platform::platformLog("Registry: %s could not be read, so it is kept and the settings are not saved.\n",
            key.path.c_str());
        return ERROR_ACCESS_DENIED;
    }
    std::string directory = directoryPart(key.path);
    // Without the lock (a folder we cannot read) the save goes on, but leaves other temporary files alone.
    SaveLock lock(directory);
    if (lock.held())
        removeAbandonedTemporaries(directory);
    int error = 0;
    // A damaged file is copied aside first, from the bytes read (a link to a file of another owner may be
    // refused); when the copy cannot be made, the file stays as it is.
    if (!key.damagedText.empty()) {
        std::string kept = key.path + ".unusable";
        if (!replaceFile(directory, kept, key.damagedText, error)) {
            platform::platformLog("Registry: cannot keep %s as %s, so it is not replaced: %s.\n", key.path.c_str(),
                kept.c_str(), std::strerror(error));
            return error == EACCES ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
        }
    }
    std::string text = "# Sublumen settings: the key Software\\Sublumen, one value per line (NAME TYPE DATA).\n";
    for (const RegistryKey::Value& value : key.values)
        text += formatValue(value);
    if (!replaceFile(directory, key.path, text, error)) {
        platform::platformLog("Registry: cannot save %s: %s.\n", key.path.c_str(), std::strerror(error));
        return error == EACCES ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
    }
    return ERROR_SUCCESS;
}

bool isSublumenKey(HKEY parent, const char* subKey)
{
    return parent == HKEY_CURRENT_USER && subKey && strcasecmp(subKey, sublumenKey) == 0;
}

}

HKEY const HKEY_CURRENT_USER = &currentUserRoot;

namespace platform {

std::string settingsFilePath()
{
    // A relative XDG_CONFIG_HOME is to be ignored.
    std::string base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* entry = getpwuid(getuid());
            home = entry && entry->pw_dir ? entry->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/sublumen/settings";
}

}

LONG RegOpenKeyExA(HKEY parent, const char* subKey, DWORD, DWORD access, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!isSublumenKey(parent, subKey))
        return ERROR_FILE_NOT_FOUND;
    auto key = std::make_unique<RegistryKey>();
    key->path = platform::settingsFilePath();
    std::string text;
    if (readKeyFile(key->path, key->values, text) != FileState::Loaded)
        return ERROR_FILE_NOT_FOUND;
    key->writable = (access & keySetValue) != 0;
    *result = key.release();
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY parent, const char* subKey, DWORD, char*, DWORD, DWORD access, void*, HKEY* result,
    DWORD* disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!isSublumenKey(parent, subKey))
        return ERROR_ACCESS_DENIED;
    auto key = std::make_unique<RegistryKey>();
    key->path = platform::settingsFilePath();
    if (!makeDirectories(directoryPart(key->path))) {
        platform::platformLog("Registry: cannot create %s: %s.\n", directoryPart(key->path).c_str(),
            std::strerror(errno));
        return ERROR_ACCESS_DENIED;
    }
    std::string text;
    FileState state = readKeyFile(key->path, key->values, text);
    key->changed = state != FileState::Loaded;
    key->unreadable = state == FileState::Unreadable;
    if (state == FileState::Damaged)
        key->damagedText = std::move(text);
    key->writable = (access & keySetValue) != 0;
    if (disposition)
        *disposition = state == FileState::Loaded ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = key.release();
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    if (!key || key->isRoot || (data && !size))
        return ERROR_INVALID_PARAMETER;
    RegistryKey::Value* value = key->find(name ? name : "");
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    auto needed = static_cast<DWORD>(value->data.size());
    if (!data) {
        if (size)
            *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, value->data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    if (!key || key->isRoot || (!data && size != 0))
        return ERROR_INVALID_PARAMETER;
    if (!key->writable)
        return ERROR_ACCESS_DENIED;
    std::string bytes = data ? std::string(reinterpret_cast<const char*>(data), size) : std::string();
    std::string valueName = name ? name : "";
    if (RegistryKey::Value* value = key->find(valueName)) {
        value->type = type;
        value->data = std::move(bytes);
    } else {
        key->values.push_back({ std::move(valueName), type, std::move(bytes) });
    }
    key->changed = true;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    if (!key)
        return ERROR_INVALID_PARAMETER;
    if (key->isRoot)
        return ERROR_SUCCESS;
    std::unique_ptr<RegistryKey> owned(key);
    return owned->changed ? writeKeyFile(*owned) : ERROR_SUCCESS;
}

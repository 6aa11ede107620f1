#include "platform/caption_text_cache.h"

#include "platform/caption_text_preparation.h"
#include "platform/kernel.h"
#include "platform/owned_handles.h"
#include "platform/user_folders.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>

namespace platform {

namespace {

// A record: the magic, the key (two 64-bit halves), the text's length (32 bits), the text, and the CRC-32
// of key, length and text; numbers little-endian.
constexpr std::string_view recordMagic = "SLT1";
constexpr size_t recordHead = 4 + 16 + 4;
constexpr size_t recordTail = 4;
// A file larger than this is read only this far: no cache of ours comes near it.
constexpr size_t longestFile = 64u << 20;

uint64_t rotl(uint64_t v, int r) { return (v << r) | (v >> (64 - r)); }

uint64_t finalMix(uint64_t k)
{
    k ^= k >> 33;
    k *= 0xFF51AFD7ED558CCDull;
    k ^= k >> 33;
    k *= 0xC4CEB9FE1A85EC53ull;
    k ^= k >> 33;
    return k;
}

// A 128-bit hash over bytes fed in any pieces, in the manner of MurmurHash3's x64 variant.
class Hash128 {
public:
    void feed(const void* data, size_t n)
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        length_ += n;
        for (size_t i = 0; i < n; ++i) {
            block_[filled_++] = bytes[i];
            if (filled_ == block_.size())
                mixBlock();
        }
    }
    template<typename T> void feedValue(T v) { feed(&v, sizeof v); }
    CaptionTextKey done()
    {
        while (filled_ != 0)
            feed("", 1);
        uint64_t h1 = a_ ^ length_;
        uint64_t h2 = b_ ^ length_;
        h1 += h2;
        h2 += h1;
        h1 = finalMix(h1);
        h2 = finalMix(h2);
        h1 += h2;
        h2 += h1;
        return { h1, h2 };
    }

private:
    void mixBlock()
    {
        uint64_t k1, k2;
        std::memcpy(&k1, block_.data(), 8);
        std::memcpy(&k2, block_.data() + 8, 8);
        constexpr uint64_t c1 = 0x87C37B91114253D5ull;
        constexpr uint64_t c2 = 0x4CF5AD432745937Full;
        k1 = rotl(k1 * c1, 31) * c2;
        a_ = (rotl(a_ ^ k1, 27) + b_) * 5 + 0x52DCE729;
        k2 = rotl(k2 * c2, 33) * c1;
        b_ = (rotl(b_ ^ k2, 31) + a_) * 5 + 0x38495AB5;
        filled_ = 0;
    }

    std::array<uint8_t, 16> block_ {};
    size_t filled_ = 0;
    uint64_t length_ = 0;
    uint64_t a_ = 0x9E3779B97F4A7C15ull;
    uint64_t b_ = 0xC2B2AE3D27D4EB4Full;
};

uint32_t crc32(const uint8_t* data, size_t n)
{
    static const auto table = [] {
        std::array<uint32_t, 256> t {};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void put(std::string& out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint64_t get(const uint8_t* in, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<uint64_t>(in[i]) << (8 * i);
    return v;
}

std::string recordOf(const CaptionTextKey& key, const std::string& text)
{
    std::string r(recordMagic);
    put(r, key.high, 8);
    put(r, key.low, 8);
    put(r, text.size(), 4);
    r += text;
    put(r, crc32(reinterpret_cast<const uint8_t*>(r.data()) + 4, r.size() - 4), 4);
    return r;
}

std::string folderOf(const std::string& file)
{
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
}

// Writes all of data at fd's position; false with errno set when it could not.
bool writeAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}

CaptionTextKey captionTextKey(const CaptionPicture& picture, const std::string& languages)
{
    Hash128 hash;
    hash.feedValue(preparationVersion);
    hash.feedValue(static_cast<uint32_t>(languages.size()));
    hash.feed(languages.data(), languages.size());
    hash.feedValue(static_cast<uint32_t>(picture.bitmaps.size()));
    for (const CaptionBitmap& b : picture.bitmaps) {
        hash.feedValue(static_cast<int32_t>(b.width));
        hash.feedValue(static_cast<int32_t>(b.height));
        hash.feedValue(static_cast<uint32_t>(b.palette.size()));
        hash.feed(b.palette.data(), b.palette.size() * sizeof(uint32_t));
        hash.feedValue(static_cast<uint64_t>(b.runs.size()));
        hash.feed(b.runs.data(), b.runs.size());
    }
    return hash.done();
}

CaptionTextCache::CaptionTextCache(std::string file, size_t limit)
    : file_(std::move(file))
    , limit_(limit)
{
}

const std::string* CaptionTextCache::find(const CaptionTextKey& key)
{
    if (!loaded_)
        load();
    auto found = texts_.find(key);
    return found == texts_.end() ? nullptr : &found->second;
}

void CaptionTextCache::add(const CaptionTextKey& key, const std::string& text)
{
    if (!loaded_)
        load();
    if (text.size() > longestText)
        return;
    auto [at, added] = texts_.insert_or_assign(key, text);
    (void)at;
    if (added)
        order_.push_back(key);
    append(recordOf(key, text));
}

void CaptionTextCache::load()
{
    loaded_ = true;
    if (file_.empty())
        return;
    FileDescriptor fd(::open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info;
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return;
    std::string bytes(std::min<size_t>(static_cast<size_t>(info.st_size), longestFile), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    fileSize_ = got;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t at = 0;
    bool inDamage = false;
    while (at + recordHead + recordTail <= got) {
        const size_t length = static_cast<size_t>(get(data + at + 20, 4));
        const bool sound = std::string_view(bytes).substr(at, 4) == recordMagic && length <= longestText
            && at + recordHead + length + recordTail <= got
            && crc32(data + at + 4, recordHead - 4 + length) == get(data + at + recordHead + length, 4);
        if (!sound) {
            // A damaged stretch counts once; the next record is looked for from the next byte on.
            if (!inDamage)
                ++damaged_;
            inDamage = true;
            ++at;
            continue;
        }
        inDamage = false;
        const CaptionTextKey key { get(data + at + 4, 8), get(data + at + 12, 8) };
        auto [where, added] = texts_.insert_or_assign(key, bytes.substr(at + recordHead, length));
        (void)where;
        if (added)
            order_.push_back(key);
        at += recordHead + length + recordTail;
    }
    if (at < got && !inDamage)
        ++damaged_;
    if (damaged_)
        platformLog("Caption text cache: %d damaged or cut records in %s passed over.\n", damaged_, file_.c_str());
}

void CaptionTextCache::append(const std::string& record)
{
    if (file_.empty() || !writable_)
        return;
    if (fileSize_ + record.size() > limit_) {
        compact();
        return;
    }
    if (!makeFolders(folderOf(file_))) {
        writable_ = false;
        platformLog("Caption text cache: cannot make the folder of %s; texts read are kept for this run only.\n",
            file_.c_str());
        return;
    }
    FileDescriptor fd(::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600));
    struct stat info;
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || !writeAll(fd.get(), record)) {
        writable_ = false;
        platformLog("Caption text cache: cannot write %s (%s); texts read are kept for this run only.\n",
            file_.c_str(), std::strerror(errno));
        return;
    }
    fileSize_ = static_cast<size_t>(info.st_size) + record.size();
}

void CaptionTextCache::compact()
{
    // The newest records that fill half the limit, oldest of them first.
    std::vector<std::string> kept;
    size_t size = 0;
    for (auto it = order_.rbegin(); it != order_.rend(); ++it) {
        auto text = texts_.find(*it);
        if (text == texts_.end())
            continue;
        std::string record = recordOf(*it, text->second);
        if (size + record.size() > limit_ / 2)
            break;
        size += record.size();
        kept.push_back(std::move(record));
    }
    std::string whole;
    whole.reserve(size);
    for (auto it = kept.rbegin(); it != kept.rend(); ++it)
        whole += *it;
    // A rewrite never leaves a half-written cache in place: it is written beside and renamed over.
    const std::string fresh = file_ + ".new";
    FileDescriptor fd(::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0600));
    if (!fd.valid() || !writeAll(fd.get(), whole) || fd.close() != 0 || std::rename(fresh.c_str(), file_.c_str()) != 0) {
        const int error = errno;
        std::remove(fresh.c_str());
        writable_ = false;
        platformLog("Caption text cache: cannot rewrite %s (%s); texts read are kept for this run only.\n",
            file_.c_str(), std::strerror(error));
        return;
    }
    fileSize_ = whole.size();
}

}

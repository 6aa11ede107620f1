// The texts read from picture captions, kept in the state folder so that a movie read once is never read
// again. The file is a run of records, each with its own check sum: a record cut short or damaged is
// passed over and the rest still serve, and a file that grows past its limit is rewritten with its newest
// records. Another player appending to the same file at once loses nothing of its own: each record is one
// write at the file's end.
#pragma once

#include "platform/mmstream/caption_pictures.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace platform {

struct CaptionTextKey {
    uint64_t high = 0;
    uint64_t low = 0;
    bool operator==(const CaptionTextKey&) const = default;
};

// The key of picture's text as read in languages: its bitmaps' sizes, palettes and pixels (not their
// places or times), the languages and the way pictures are prepared for the reader, so that a better
// preparation reads again what an older one read.
CaptionTextKey captionTextKey(const CaptionPicture& picture, const std::string& languages);

class CaptionTextCache {
public:
    // The cache kept in file (made with its folder when first written); an empty name keeps the texts in
    // memory only.
    explicit CaptionTextCache(std::string file, size_t limit = defaultLimit);

    // The text read before for key; none when it is not known. The file is read at the first look-up.
    const std::string* find(const CaptionTextKey& key);
    // Keeps text for key, in memory and at the file's end. A file that could not be written is logged
    // once and left alone for the rest of the run; the texts stay in memory.
    void add(const CaptionTextKey& key, const std::string& text);

    // How many damaged or cut records the file held when it was read.
    int damagedRecords() const { return damaged_; }

    static constexpr size_t defaultLimit = 8u << 20;
    // A text longer than this is not kept: no caption comes near it.
    static constexpr size_t longestText = 16u << 10;

private:
    struct KeyHash {
        size_t operator()(const CaptionTextKey& k) const { return static_cast<size_t>(k.low ^ (k.high * 31)); }
    };
    void load();
    void append(const std::string& record);
    void compact();

    std::string file_;
    size_t limit_;
    bool loaded_ = false;
    bool writable_ = true;
    int damaged_ = 0;
    size_t fileSize_ = 0;
    std::unordered_map<CaptionTextKey, std::string, KeyHash> texts_;
    // The records in the order they were kept, newest last, for rewriting the file.
    std::vector<CaptionTextKey> order_;
};

}

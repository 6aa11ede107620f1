// A small writer of PGS caption files (.sup): display sets of one or more objects, each a rectangle of
// palette indices run-length coded as the format has it, and the empty sets that clear the screen.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct SupColour {
    uint8_t index;
    uint8_t y, cr, cb, alpha;
};

struct SupObject {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indices; // width × height, top row first
    bool forced = false;
};

// A rectangle of one palette index.
inline SupObject supBlock(int x, int y, int width, int height, uint8_t index, bool forced = false)
{
    return { x, y, width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height, index), forced };
}

class SupWriter {
public:
    SupWriter(int videoWidth, int videoHeight)
        : width_(videoWidth)
        , height_(videoHeight)
    {
    }

    // A display set shown from ms on, with its palette and objects (an object's id is its place).
    SupWriter& show(uint32_t ms, const std::vector<SupColour>& palette, const std::vector<SupObject>& objects)
    {
        const uint32_t pts = ms * 90;
        std::string pcs = presentation(objects, true);
        segment(pts, 0x16, pcs);
        std::string wds(1, static_cast<char>(objects.size()));
        for (size_t i = 0; i < objects.size(); ++i) {
            wds += static_cast<char>(i);
            put16(wds, objects[i].x);
            put16(wds, objects[i].y);
            put16(wds, objects[i].width);
            put16(wds, objects[i].height);
        }
        segment(pts, 0x17, wds);
        std::string pds = { 0, 0 };
        for (const SupColour& c : palette)
            pds += std::string { static_cast<char>(c.index), static_cast<char>(c.y), static_cast<char>(c.cr),
                static_cast<char>(c.cb), static_cast<char>(c.alpha) };
        segment(pts, 0x14, pds);
        for (size_t i = 0; i < objects.size(); ++i) {
            std::string rle = runLengths(objects[i]);
            // A segment holds at most 65535 bytes: a larger object goes on in further segments.
            size_t sent = 0;
            do {
                const bool first = sent == 0;
                std::string ods;
                put16(ods, static_cast<int>(i));
                ods += '\0';
                const size_t room = first ? 65535 - 11 : 65535 - 4;
                const size_t part = std::min(room, rle.size() - sent);
                const bool last = sent + part == rle.size();
                ods += static_cast<char>((first ? 0x80 : 0) | (last ? 0x40 : 0));
                if (first) {
                    const uint32_t length = static_cast<uint32_t>(rle.size()) + 4;
                    ods += static_cast<char>(length >> 16);
                    ods += static_cast<char>(length >> 8);
                    ods += static_cast<char>(length);
                    put16(ods, objects[i].width);
                    put16(ods, objects[i].height);
                }
                segment(pts, 0x15, ods + rle.substr(sent, part));
                sent += part;
            } while (sent < rle.size());
        }
        segment(pts, 0x80, "");
        return *this;
    }

    // An empty composition at ms: the screen is cleared.
    SupWriter& clear(uint32_t ms)
    {
        segment(ms * 90, 0x16, presentation({}, false));
        segment(ms * 90, 0x17, std::string(1, '\0'));
        segment(ms * 90, 0x80, "");
        return *this;
    }

    // A segment of any type and content, for damaged files.
    SupWriter& raw(uint32_t ms, uint8_t type, const std::string& data)
    {
        segment(ms * 90, type, data);
        return *this;
    }

    const std::string& bytes() const { return bytes_; }

    static std::string runLengths(const SupObject& o)
    {
        std::string out;
        for (int y = 0; y < o.height; ++y) {
            int x = 0;
            while (x < o.width) {
                const uint8_t c = o.indices[static_cast<size_t>(y) * o.width + x];
                int n = 1;
                while (x + n < o.width && n < 16383 && o.indices[static_cast<size_t>(y) * o.width + x + n] == c)
                    ++n;
                if (c != 0 && n < 3) {
                    out.append(static_cast<size_t>(n), static_cast<char>(c));
                } else {
                    out += '\0';
                    const bool longRun = n > 63;
                    uint8_t flags = static_cast<uint8_t>((c != 0 ? 0x80 : 0) | (longRun ? 0x40 : 0));
                    if (longRun) {
                        out += static_cast<char>(flags | (n >> 8));
                        out += static_cast<char>(n & 0xFF);
                    } else {
                        out += static_cast<char>(flags | n);
                    }
                    if (c != 0)
                        out += static_cast<char>(c);
                }
                x += n;
            }
            out += '\0';
            out += '\0';
        }
        return out;
    }

private:
    static void put16(std::string& s, int v)
    {
        s += static_cast<char>((v >> 8) & 0xFF);
        s += static_cast<char>(v & 0xFF);
    }

    std::string presentation(const std::vector<SupObject>& objects, bool epochStart)
    {
        std::string pcs;
        put16(pcs, width_);
        put16(pcs, height_);
        pcs += static_cast<char>(0x10);
        put16(pcs, composition_++);
        pcs += static_cast<char>(epochStart ? 0x80 : 0x00);
        pcs += '\0'; // no palette-only update
        pcs += '\0'; // palette 0
        pcs += static_cast<char>(objects.size());
        for (size_t i = 0; i < objects.size(); ++i) {
            put16(pcs, static_cast<int>(i));
            pcs += static_cast<char>(i);
            pcs += static_cast<char>(objects[i].forced ? 0x40 : 0x00);
            put16(pcs, objects[i].x);
            put16(pcs, objects[i].y);
        }
        return pcs;
    }

    void segment(uint32_t pts, uint8_t type, const std::string& data)
    {
        bytes_ += "PG";
        for (uint32_t v : { pts, 0u })
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes_ += static_cast<char>((v >> shift) & 0xFF);
        bytes_ += static_cast<char>(type);
        put16(bytes_, static_cast<int>(data.size()));
        bytes_ += data;
    }

    int width_;
    int height_;
    int composition_ = 0;
    std::string bytes_;
};

}

#include "platform/closed_captions/cc_data.h"

#include <algorithm>

namespace platform {

namespace {

// The cc_data structure of A/53 user data, from its user identifier "GA94" on.
void appendA53(std::span<const uint8_t> p, std::vector<uint8_t>& out)
{
    static constexpr uint8_t identifier[5] = {'G', 'A', '9', '4', 0x03};
    if (p.size() < 7 || !std::equal(identifier, identifier + 5, p.begin()))
        return;
    p = p.subspan(5);
    if (!(p[0] & 0x40))
        return;  // process_cc_data_flag clear
    size_t count = p[0] & 0x1F;
    p = p.subspan(2);  // the flags and em_data
    count = std::min(count, p.size() / 3);
    out.insert(out.end(), p.begin(), p.begin() + static_cast<std::ptrdiff_t>(count * 3));
}

// A network abstraction unit's payload without its emulation prevention bytes.
std::vector<uint8_t> unescaped(std::span<const uint8_t> unit)
{
    std::vector<uint8_t> out;
    out.reserve(unit.size());
    int zeros = 0;
    for (uint8_t b : unit) {
        if (zeros >= 2 && b == 0x03) {
            zeros = 0;
            continue;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.push_back(b);
    }
    return out;
}

// SEI messages: the registered user data (type 4) of ATSC (country 0xB5, provider 0x0031).
void seiCcData(std::span<const uint8_t> rbsp, std::vector<uint8_t>& out)
{
    size_t pos = 0;
    while (pos < rbsp.size() && rbsp[pos] != 0x80) {
        size_t type = 0;
        while (pos < rbsp.size() && rbsp[pos] == 0xFF)
            type += 255, ++pos;
        if (pos >= rbsp.size())
            return;
        type += rbsp[pos++];
        size_t size = 0;
        while (pos < rbsp.size() && rbsp[pos] == 0xFF)
            size += 255, ++pos;
        if (pos >= rbsp.size())
            return;
        size += rbsp[pos++];
        if (size > rbsp.size() - pos)
            return;
        std::span<const uint8_t> payload = rbsp.subspan(pos, size);
        if (type == 4 && payload.size() >= 3 && payload[0] == 0xB5 && payload[1] == 0x00 && payload[2] == 0x31)
            appendA53(payload.subspan(3), out);
        pos += size;
    }
}

bool startCodeAt(std::span<const uint8_t> p, size_t i)
{
    return i + 3 <= p.size() && p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1;
}

// Calls take with each unit of the packet, whether the packet marks them by start codes or by lengths.
template<typename Take>
void forEachUnit(std::span<const uint8_t> packet, Take take)
{
    if (startCodeAt(packet, 0) || (packet.size() >= 4 && packet[0] == 0 && startCodeAt(packet, 1))) {
        size_t i = 0;
        while (i < packet.size() && !startCodeAt(packet, i))
            ++i;
        while (i < packet.size()) {
            const size_t begin = i + 3;
            size_t end = begin;
            while (end < packet.size() && !startCodeAt(packet, end))
                ++end;
            size_t next = end;
            while (end > begin && packet[end - 1] == 0)
                --end;  // the zero before a four-byte start code
            if (end > begin)
                take(packet.subspan(begin, end - begin));
            i = next;
        }
        return;
    }
    size_t pos = 0;
    while (packet.size() - pos >= 4) {
        const size_t length = (size_t {packet[pos]} << 24) | (size_t {packet[pos + 1]} << 16)
            | (size_t {packet[pos + 2]} << 8) | packet[pos + 3];
        pos += 4;
        if (length > packet.size() - pos)
            return;
        take(packet.subspan(pos, length));
        pos += length;
    }
}

}

void splitCcData(std::span<const uint8_t> triplets, std::vector<Line21Pair>& line21, std::vector<DtvccPair>& dtvcc)
{
    for (size_t i = 0; i + 3 <= triplets.size(); i += 3) {
        const uint8_t flags = triplets[i];
        if (!(flags & 0x04))
            continue;  // cc_valid clear: padding
        const int type = flags & 0x03;
        if (type < 2)
            line21.push_back({type, {triplets[i + 1], triplets[i + 2]}});
        else
            dtvcc.push_back({type == 3, {triplets[i + 1], triplets[i + 2]}});
    }
}

void findCcData(VideoCoding coding, std::span<const uint8_t> packet, std::vector<uint8_t>& triplets)
{
    if (coding == VideoCoding::Mpeg2) {
        for (size_t i = 0; i + 4 <= packet.size(); ++i) {
            if (!startCodeAt(packet, i) || packet[i + 3] != 0xB2)
                continue;
            size_t end = i + 4;
            while (end < packet.size() && !startCodeAt(packet, end))
                ++end;
            appendA53(packet.subspan(i + 4, end - i - 4), triplets);
            i = end - 1;
        }
        return;
    }
    forEachUnit(packet, [&](std::span<const uint8_t> unit) {
        if (coding == VideoCoding::H264 && (unit[0] & 0x1F) == 6)
            seiCcData(unescaped(unit.subspan(1)), triplets);
        const int hevcType = (unit[0] >> 1) & 0x3F;
        if (coding == VideoCoding::Hevc && unit.size() > 2 && (hevcType == 39 || hevcType == 40))
            seiCcData(unescaped(unit.subspan(2)), triplets);
    });
}

}

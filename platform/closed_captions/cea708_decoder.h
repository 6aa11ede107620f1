// DTV closed captions (CEA-708): caption channel packets gathered from the cc_data pairs of the
// pictures, split into service blocks, and each service's commands and text run against its eight
// windows and their pens, with delays and resets as the standard sets them.
//
// Korean broadcasts send each syllable as the 16-bit character code P16 (0x18) followed by its two
// EUC-KR bytes, spaces sometimes as P16 00 20; some encoders send the EUC-KR pairs bare in the G1 range.
// Both are read as CP949; a P16 code with a zero high byte is the single character of its low byte.
#pragma once

#include "platform/closed_captions/caption_screen.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

// One cc_data pair of the DTV channel (cc_type 2 or 3, cc_valid set).
struct DtvccPair {
    bool packetStart = false;  // cc_type 3: the first pair of a caption channel packet
    uint8_t data[2] = {0, 0};
};

class Cea708Decoder {
public:
    static constexpr int maxService = 63;
    static constexpr int windowCount = 8;
    static constexpr int maxRows = 16;      // the row count's 4 bits, plus one
    static constexpr int maxColumns = 64;   // the column count's 6 bits, plus one
    // What a delayed service holds before the delay is given up: the standard's service input buffer.
    static constexpr size_t serviceBufferBytes = 128;

    Cea708Decoder();
    ~Cea708Decoder();
    Cea708Decoder(const Cea708Decoder&) = delete;
    Cea708Decoder& operator=(const Cea708Decoder&) = delete;

    // The DTV pairs of one picture, shown from now on. Delays that have run out by now end first.
    void decode(std::span<const DtvccPair> pairs, CaptionClock now);
    // Forgets every service, window and partly gathered packet (a seek, or the caption data broke off).
    void reset();

    // The services whose visible windows may have changed since the last call, in number order.
    std::vector<int> takeChangedServices();
    // What the service shows now.
    CaptionScreen screenOf(int service) const;
    // The services that have sent a service block since the decoder was made (reset keeps this).
    const std::bitset<maxService + 1>& servicesSeen() const { return seen_; }
    // Whether the service has sent Korean (EUC-KR) text since the decoder was made.
    bool sentKorean(int service) const { return service >= 0 && service <= maxService && korean_[service]; }

    // What was dropped so far, for tests and measurements; each kind is also logged a few times.
    struct Drops {
        int brokenPackets = 0;     // cut short, or started before the last one was whole
        int sequenceGaps = 0;      // a packet's sequence number not the one after the last
        int brokenBlocks = 0;      // a service block that claims more than its packet holds, a cut command
        int noWindow = 0;          // text or window commands for a window that is not defined
        int invalidText = 0;       // 16-bit codes that are no CP949 character, shown as U+FFFD
        int delaysGivenUp = 0;     // a delayed service whose input outgrew its buffer
    };
    const Drops& drops() const { return drops_; }

private:
    struct Window;
    struct Service;

    void packetDone();
    void serviceBlock(int number, std::span<const uint8_t> bytes);
    void drain(Service& service);
    size_t interpret(Service& service, std::span<const uint8_t> bytes);
    void command(Service& service, std::span<const uint8_t> code);
    void c1Command(Service& service, std::span<const uint8_t> code);
    void defineWindow(Service& service, int id, std::span<const uint8_t> p);
    void put(Service& service, char32_t c);
    void carriageReturn(Window& w);
    void resetService(Service& service);
    Window* currentWindow(Service& service);
    void dropped(int& count, const char* what);

    std::array<std::unique_ptr<Service>, maxService + 1> services_;
    std::vector<uint8_t> packet_;
    size_t packetSize_ = 0;        // the size the packet's header announces; 0 while none is gathered
    std::optional<int> lastSequence_;
    CaptionClock now_ {0};
    std::bitset<maxService + 1> seen_;
    std::bitset<maxService + 1> korean_;
    std::bitset<maxService + 1> changed_;
    Drops drops_;
};

// The number of bytes the service block command or character starting at bytes[0] takes, or 0 when it
// is cut off before its end.
size_t cea708CodeLength(std::span<const uint8_t> bytes);

}

// Line 21 closed captions (CEA-608), the four caption channels CC1 to CC4 of the two fields: pop-on,
// roll-up and paint-on captions give the rows the screen would show. Text mode and extended data
// services are passed over.
#pragma once

#include "platform/closed_captions/caption_screen.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

namespace platform {

class Cea608Decoder {
public:
    static constexpr int rows = 15;
    static constexpr int columns = 32;

    // One byte pair of a field (0: field 1, CC1 and CC2; 1: field 2, CC3 and CC4), parity bits included.
    void decode(int field, uint8_t first, uint8_t second);
    // Forgets everything shown and held (a seek, or the caption data broke off).
    void reset();

    // The channels (1 to 4) whose screen may have changed since the last call, in order.
    std::vector<int> takeChangedChannels();
    // What the channel (1 to 4) shows now: one window, number 0, when anything is shown.
    CaptionScreen screenOf(int channel) const;
    // The channels that have sent a caption command or text since the decoder was made (reset keeps it).
    const std::bitset<5>& channelsSeen() const { return seen_; }

    // Pairs dropped for a parity error.
    int parityErrors() const { return parityErrors_; }

private:
    enum class Mode { None, PopOn, RollUp, PaintOn, Text };
    using Memory = std::array<std::array<char32_t, columns>, rows>;
    struct Channel {
        Memory shown {};
        Memory held {};  // the pop-on caption being loaded
        Mode mode = Mode::None;
        int rollRows = 2;
        int row = rows - 1;
        int column = 0;
    };

    void control(int field, Channel& c, int number, uint8_t first, uint8_t second);
    void put(Channel& c, int number, char32_t ch);
    void backspace(Channel& c, int number);
    Memory& target(Channel& c) { return c.mode == Mode::PopOn ? c.held : c.shown; }
    void shownChanged(int number) { changed_.set(static_cast<size_t>(number)); }

    std::array<Channel, 4> channels_ {};
    // Per field: the data channel (0 or 1) the last control code named, -1 before any; whether
    // extended data services are being sent; the last control pair, which encoders send twice.
    std::array<int, 2> dataChannel_ {-1, -1};
    std::array<bool, 2> extendedData_ {false, false};
    std::array<uint16_t, 2> lastControl_ {0, 0};
    std::bitset<5> seen_;
    std::bitset<5> changed_;
    int parityErrors_ = 0;
};

}

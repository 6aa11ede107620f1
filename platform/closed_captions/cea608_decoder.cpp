#include "platform/closed_captions/cea608_decoder.h"

#include <algorithm>

namespace platform {

namespace {

// The standard characters that differ from ASCII.
char32_t basicCharacter(uint8_t b)
{
    switch (b) {
    case 0x2A: return U'\u00E1';
    case 0x5C: return U'\u00E9';
    case 0x5E: return U'\u00ED';
    case 0x5F: return U'\u00F3';
    case 0x60: return U'\u00FA';
    case 0x7B: return U'\u00E7';
    case 0x7C: return U'\u00F7';
    case 0x7D: return U'\u00D1';
    case 0x7E: return U'\u00F1';
    case 0x7F: return U'\u2588';
    default: return b;
    }
}

// The special characters (first byte 0x11, second 0x30 to 0x3F); 0x39 is the transparent space.
constexpr char32_t specialCharacters[16] = {U'\u00AE', U'\u00B0', U'\u00BD', U'\u00BF', U'\u2122', U'\u00A2',
    U'\u00A3', U'\u266A', U'\u00E0', U' ', U'\u00E8', U'\u00E2', U'\u00EA', U'\u00EE', U'\u00F4', U'\u00FB'};

// The extended characters (first byte 0x12 or 0x13, second 0x20 to 0x3F), which replace the standard
// character sent before them.
constexpr char32_t extendedCharacters[2][32] = {
    {U'\u00C1', U'\u00C9', U'\u00D3', U'\u00DA', U'\u00DC', U'\u00FC', U'\u2018', U'\u00A1', U'*', U'\u2019',
        U'\u2014', U'\u00A9', U'\u2120', U'\u2022', U'\u201C', U'\u201D', U'\u00C0', U'\u00C2', U'\u00C7', U'\u00C8',
        U'\u00CA', U'\u00CB', U'\u00EB', U'\u00CE', U'\u00CF', U'\u00EF', U'\u00D4', U'\u00D9', U'\u00F9', U'\u00DB',
        U'\u00AB', U'\u00BB'},
    {U'\u00C3', U'\u00E3', U'\u00CD', U'\u00CC', U'\u00EC', U'\u00D2', U'\u00F2', U'\u00D5', U'\u00F5', U'{', U'}',
        U'\\', U'^', U'_', U'|', U'~', U'\u00C4', U'\u00E4', U'\u00D6', U'\u00F6', U'\u00DF', U'\u00A5', U'\u00A4',
        U'\u00A6', U'\u00C5', U'\u00E5', U'\u00D8', U'\u00F8', U'\u250C', U'\u2510', U'\u2514', U'\u2518'},
};

bool oddParity(uint8_t b)
{
    b ^= b >> 4;
    b ^= b >> 2;
    b ^= b >> 1;
    return b & 1;
}

// The row (0 to 14) a preamble address code names; first is the channel-1 form (0x10 to 0x17).
int preambleRow(uint8_t first, uint8_t second)
{
    static constexpr int firstRows[8] = {10, 0, 2, 11, 13, 4, 6, 8};
    const int row = firstRows[first & 0x07];
    return first == 0x10 ? row : row + ((second & 0x20) ? 1 : 0);
}


}

void Cea608Decoder::reset()
{
    for (size_t i = 0; i < channels_.size(); ++i) {
        channels_[i] = Channel {};
        changed_.set(i + 1);
    }
    dataChannel_ = {-1, -1};
    extendedData_ = {false, false};
    lastControl_ = {0, 0};
}

void Cea608Decoder::decode(int field, uint8_t first, uint8_t second)
{
    if (field < 0 || field > 1)
        return;
    const size_t f = static_cast<size_t>(field);
    if (!oddParity(first)) {
        ++parityErrors_;
        return;
    }
    const bool secondValid = oddParity(second);
    first &= 0x7F;
    second &= 0x7F;
    if (first == 0 && second == 0)
        return;  // padding
    if (field == 1 && first >= 0x01 && first <= 0x0F) {
        // Extended data services run from a start code to the end code 0x0F (whose partner is a checksum).
        extendedData_[f] = first != 0x0F;
        return;
    }
    if (first >= 0x10 && first <= 0x1F) {
        extendedData_[f] = false;
        if (!secondValid) {
            ++parityErrors_;
            return;
        }
        // Control codes are sent twice in a row; the repeat does nothing.
        const uint16_t code = static_cast<uint16_t>(first << 8 | second);
        if (code == lastControl_[f]) {
            lastControl_[f] = 0;
            return;
        }
        lastControl_[f] = code;
        dataChannel_[f] = (first & 0x08) ? 1 : 0;
        const int number = field * 2 + dataChannel_[f] + 1;
        control(field, channels_[static_cast<size_t>(number - 1)], number, first & ~0x08, second);
        return;
    }
    lastControl_[f] = 0;
    if (first < 0x20 || extendedData_[f] || dataChannel_[f] < 0)
        return;
    const int number = field * 2 + dataChannel_[f] + 1;
    Channel& c = channels_[static_cast<size_t>(number - 1)];
    put(c, number, basicCharacter(first));
    if (second >= 0x20)
        put(c, number, secondValid ? basicCharacter(second) : U'\u2588');
}

void Cea608Decoder::control(int field, Channel& c, int number, uint8_t first, uint8_t second)
{
    seen_.set(static_cast<size_t>(number));
    if (second >= 0x40) {
        // A preamble address code: row and indent. In roll-up the rows shown move with the base row.
        int row = preambleRow(first, second);
        if (c.mode == Mode::RollUp) {
            row = std::max(row, c.rollRows - 1);
            if (row != c.row) {
                Memory moved {};
                for (int k = 0; k < c.rollRows; ++k)
                    if (c.row - k >= 0)
                        moved[static_cast<size_t>(row - k)] = c.shown[static_cast<size_t>(c.row - k)];
                c.shown = moved;
                shownChanged(number);
            }
        }
        c.row = row;
        c.column = (second & 0x10) ? (second & 0x0E) << 1 : 0;
        return;
    }
    if (first == 0x11 && second >= 0x30) {
        put(c, number, specialCharacters[second - 0x30]);
        return;
    }
    if (first == 0x11 && second >= 0x20) {
        put(c, number, U' ');  // a mid-row style change shows as a space
        return;
    }
    if ((first == 0x12 || first == 0x13) && second >= 0x20) {
        backspace(c, number);
        put(c, number, extendedCharacters[first - 0x12][second - 0x20]);
        return;
    }
    if (first == 0x17 && second >= 0x21 && second <= 0x23) {
        c.column = std::min(c.column + (second - 0x20), columns - 1);
        return;
    }
    // Field 2 sends its commands with 0x15 as well as 0x14.
    if (!(first == 0x14 || (first == 0x15 && field == 1)) || second > 0x2F)
        return;  // background and foreground attributes, and what has no meaning
    switch (second) {
    case 0x20: // resume caption loading
        c.mode = Mode::PopOn;
        break;
    case 0x21: // backspace
        backspace(c, number);
        break;
    case 0x24: { // delete to end of row
        auto& row = target(c)[static_cast<size_t>(c.row)];
        std::fill(row.begin() + std::min(c.column, columns), row.end(), 0);
        if (c.mode != Mode::PopOn)
            shownChanged(number);
        break;
    }
    case 0x25: // roll-up, two to four rows
    case 0x26:
    case 0x27:
        c.rollRows = second - 0x23;
        if (c.mode != Mode::RollUp) {
            c.shown = {};
            c.held = {};
            c.row = rows - 1;
            c.column = 0;
            c.mode = Mode::RollUp;
            shownChanged(number);
        }
        c.row = std::max(c.row, c.rollRows - 1);
        break;
    case 0x29: // resume direct captioning
        c.mode = Mode::PaintOn;
        break;
    case 0x2A: // text restart, resume text display: text mode, not captions
    case 0x2B:
        c.mode = Mode::Text;
        break;
    case 0x2C: // erase displayed memory
        c.shown = {};
        shownChanged(number);
        break;
    case 0x2D: // carriage return
        if (c.mode == Mode::RollUp) {
            const int top = std::max(0, c.row - c.rollRows + 1);
            for (int r = top; r < c.row; ++r)
                c.shown[static_cast<size_t>(r)] = c.shown[static_cast<size_t>(r + 1)];
            c.shown[static_cast<size_t>(c.row)] = {};
            if (top > 0)
                c.shown[static_cast<size_t>(top - 1)] = {};
            c.column = 0;
            shownChanged(number);
        }
        break;
    case 0x2E: // erase non-displayed memory
        c.held = {};
        break;
    case 0x2F: // end of caption: the loaded caption is shown
        std::swap(c.shown, c.held);
        c.mode = Mode::PopOn;
        shownChanged(number);
        break;
    default: // alarm codes, flash on
        break;
    }
}

void Cea608Decoder::put(Channel& c, int number, char32_t ch)
{
    if (c.mode == Mode::None || c.mode == Mode::Text)
        return;
    seen_.set(static_cast<size_t>(number));
    // Past the last column each character takes the last one again.
    const int column = std::min(c.column, columns - 1);
    target(c)[static_cast<size_t>(c.row)][static_cast<size_t>(column)] = ch;
    c.column = column + 1;
    if (c.mode != Mode::PopOn)
        shownChanged(number);
}

void Cea608Decoder::backspace(Channel& c, int number)
{
    if (c.column == 0 || c.mode == Mode::None || c.mode == Mode::Text)
        return;
    c.column = std::min(c.column, columns) - 1;
    target(c)[static_cast<size_t>(c.row)][static_cast<size_t>(c.column)] = 0;
    if (c.mode != Mode::PopOn)
        shownChanged(number);
}

std::vector<int> Cea608Decoder::takeChangedChannels()
{
    std::vector<int> changed;
    for (int number = 1; number <= 4; ++number)
        if (changed_[static_cast<size_t>(number)])
            changed.push_back(number);
    changed_.reset();
    return changed;
}

CaptionScreen Cea608Decoder::screenOf(int number) const
{
    if (number < 1 || number > 4)
        return {};
    const Memory& shown = channels_[static_cast<size_t>(number - 1)].shown;
    std::string text;
    for (const auto& row : shown)
        appendRowText(text, row);
    if (text.empty())
        return {};
    return {ShownWindow {0, 0, std::move(text)}};
}

}

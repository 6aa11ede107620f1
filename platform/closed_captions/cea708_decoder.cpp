#include "platform/closed_captions/cea708_decoder.h"

#include "platform/gdi/text_decoding.h"
#include "platform/kernel.h"

#include <algorithm>

namespace platform {

namespace {

constexpr int loggedDropsPerKind = 3;

// C0 codes with a meaning of their own; the rest are skipped by their length.
constexpr uint8_t codeETX = 0x03;
constexpr uint8_t codeBS = 0x08;
constexpr uint8_t codeFF = 0x0C;
constexpr uint8_t codeCR = 0x0D;
constexpr uint8_t codeHCR = 0x0E;
constexpr uint8_t codeEXT1 = 0x10;
constexpr uint8_t codeP16 = 0x18;
// C1: the window and pen commands.
constexpr uint8_t codeCW0 = 0x80;
constexpr uint8_t codeCLW = 0x88;
constexpr uint8_t codeDSW = 0x89;
constexpr uint8_t codeHDW = 0x8A;
constexpr uint8_t codeTGW = 0x8B;
constexpr uint8_t codeDLW = 0x8C;
constexpr uint8_t codeDLY = 0x8D;
constexpr uint8_t codeDLC = 0x8E;
constexpr uint8_t codeRST = 0x8F;
constexpr uint8_t codeSPA = 0x90;
constexpr uint8_t codeSPC = 0x91;
constexpr uint8_t codeSPL = 0x92;
constexpr uint8_t codeSWA = 0x97;
constexpr uint8_t codeDF0 = 0x98;

enum Direction { LeftToRight = 0, RightToLeft = 1, TopToBottom = 2, BottomToTop = 3 };

// What an unsupported character of G2 and G3 is shown as.
constexpr char32_t unsupportedCharacter = U'_';

char32_t g0Character(uint8_t b) { return b == 0x7F ? U'\u266A' : b; }

// G1 is Latin-1; its no-break space is an ordinary blank on a caption.
char32_t g1Character(uint8_t b) { return b == 0xA0 ? U' ' : b; }

char32_t g2Character(uint8_t b)
{
    switch (b) {
    case 0x20: // transparent space
    case 0x21: // non-breaking transparent space
        return U' ';
    case 0x25: return U'\u2026';
    case 0x2A: return U'\u0160';
    case 0x2C: return U'\u0152';
    case 0x30: return U'\u2588';
    case 0x31: return U'\u2018';
    case 0x32: return U'\u2019';
    case 0x33: return U'\u201C';
    case 0x34: return U'\u201D';
    case 0x35: return U'\u2022';
    case 0x39: return U'\u2122';
    case 0x3A: return U'\u0161';
    case 0x3C: return U'\u0153';
    case 0x3D: return U'\u2120';
    case 0x3F: return U'\u0178';
    case 0x76: return U'\u215B';
    case 0x77: return U'\u215C';
    case 0x78: return U'\u215D';
    case 0x79: return U'\u215E';
    case 0x7A: return U'\u2502';
    case 0x7B: return U'\u2510';
    case 0x7C: return U'\u2514';
    case 0x7D: return U'\u2500';
    case 0x7E: return U'\u2518';
    case 0x7F: return U'\u250C';
    default: return unsupportedCharacter;
    }
}

bool isEucKrByte(uint8_t b) { return b >= 0xA1 && b <= 0xFE; }

// The character of a CP949 pair, or none when the pair is not one.
std::optional<char32_t> cp949Character(uint8_t lead, uint8_t trail)
{
    const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    std::u32string decoded = decodeText(std::string_view(bytes, 2), TextEncoding::Cp949);
    if (decoded.size() != 1 || decoded[0] == replacementCharacter)
        return std::nullopt;
    return decoded[0];
}


}

size_t cea708CodeLength(std::span<const uint8_t> bytes)
{
    if (bytes.empty())
        return 0;
    const uint8_t b = bytes[0];
    size_t length = 1;
    if (b == codeEXT1) {
        if (bytes.size() < 2)
            return 0;
        const uint8_t e = bytes[1];
        if (e < 0x08)
            length = 2;
        else if (e < 0x10)
            length = 3;
        else if (e < 0x18)
            length = 4;
        else if (e < 0x20)
            length = 5;
        else if (e < 0x80 || e >= 0xA0)
            length = 2;
        else if (e < 0x88)
            length = 6;
        else if (e < 0x90)
            length = 7;
        else if (bytes.size() < 3)
            return 0;
        else
            length = 3 + (bytes[2] & 0x1F);  // C3 variable length: the byte after tells how many follow
    } else if (b >= 0x11 && b < 0x18) {
        length = 2;
    } else if (b >= 0x18 && b < 0x20) {
        length = 3;
    } else if (b >= 0x80 && b < 0xA0) {
        if (b == codeCLW || b == codeDSW || b == codeHDW || b == codeTGW || b == codeDLW || b == codeDLY)
            length = 2;
        else if (b == codeSPA || b == codeSPL)
            length = 3;
        else if (b == codeSPC)
            length = 4;
        else if (b == codeSWA)
            length = 5;
        else if (b >= codeDF0)
            length = 7;
    }
    return length <= bytes.size() ? length : 0;
}

struct Cea708Decoder::Window {
    int rows = 1;
    int columns = 1;
    int position = 0;  // the anchor's vertical place, in hundredths of the screen
    bool visible = false;
    int printDirection = LeftToRight;
    int scrollDirection = BottomToTop;
    int penRow = 0;
    int penColumn = 0;
    std::array<std::array<char32_t, maxColumns>, maxRows> cells {};

    void clearRow(int row) { cells[static_cast<size_t>(row)].fill(0); }
    void clear()
    {
        for (auto& row : cells)
            row.fill(0);
    }
    std::string text() const
    {
        std::string out;
        for (int r = 0; r < rows; ++r)
            appendRowText(out, cells[static_cast<size_t>(r)]);
        return out;
    }
};

struct Cea708Decoder::Service {
    int number = 0;
    std::array<std::unique_ptr<Window>, windowCount> windows;
    int current = -1;
    // Codes not yet interpreted: what arrived while a delay holds the service.
    std::vector<uint8_t> input;
    std::optional<CaptionClock> delayUntil;
};

Cea708Decoder::Cea708Decoder() = default;
Cea708Decoder::~Cea708Decoder() = default;

void Cea708Decoder::dropped(int& count, const char* what)
{
    if (++count <= loggedDropsPerKind)
        platformLog("mmstream: CEA-708 captions: %s; dropped\n", what);
}

void Cea708Decoder::reset()
{
    for (size_t i = 0; i < services_.size(); ++i) {
        if (services_[i])
            changed_.set(i);
        services_[i].reset();
    }
    packet_.clear();
    packetSize_ = 0;
    lastSequence_.reset();
}

void Cea708Decoder::decode(std::span<const DtvccPair> pairs, CaptionClock now)
{
    now_ = now;
    for (auto& service : services_)
        if (service && service->delayUntil && now_ >= *service->delayUntil)
            drain(*service);
    for (const DtvccPair& pair : pairs) {
        if (pair.packetStart) {
            if (!packet_.empty())
                dropped(drops_.brokenPackets, "a caption packet cut short");
            packet_.clear();
            const uint8_t sizeCode = pair.data[0] & 0x3F;
            packetSize_ = sizeCode ? sizeCode * 2u : 128u;
        } else if (packetSize_ == 0) {
            // The rest of a packet whose start came before the recording (or the seek) began.
            continue;
        }
        packet_.push_back(pair.data[0]);
        packet_.push_back(pair.data[1]);
        if (packet_.size() >= packetSize_)
            packetDone();
    }
}

void Cea708Decoder::packetDone()
{
    const int sequence = packet_[0] >> 6;
    if (lastSequence_ && sequence != ((*lastSequence_ + 1) & 3))
        dropped(drops_.sequenceGaps, "caption packets lost (sequence broken)");
    lastSequence_ = sequence;
    std::span<const uint8_t> data(packet_.data() + 1, packetSize_ - 1);
    size_t pos = 0;
    while (pos < data.size()) {
        const uint8_t header = data[pos++];
        int number = header >> 5;
        const size_t size = header & 0x1F;
        if (number == 0)
            break;  // the null block: the rest of the packet is padding
        if (number == 7) {
            if (pos >= data.size()) {
                dropped(drops_.brokenBlocks, "a service block header cut short");
                break;
            }
            number = data[pos++] & 0x3F;
            if (number < 7) {
                dropped(drops_.brokenBlocks, "an extended service number below 7");
                break;
            }
        }
        if (pos + size > data.size()) {
            dropped(drops_.brokenBlocks, "a service block that claims more bytes than its packet holds");
            break;
        }
        if (size > 0)
            serviceBlock(number, data.subspan(pos, size));
        pos += size;
    }
    packet_.clear();
    packetSize_ = 0;
}

void Cea708Decoder::serviceBlock(int number, std::span<const uint8_t> bytes)
{
    seen_.set(static_cast<size_t>(number));
    auto& slot = services_[static_cast<size_t>(number)];
    if (!slot) {
        slot = std::make_unique<Service>();
        slot->number = number;
    }
    Service& service = *slot;
    // A command never spans two blocks; one cut at the block's end is lost.
    size_t whole = 0;
    while (whole < bytes.size()) {
        const size_t length = cea708CodeLength(bytes.subspan(whole));
        if (length == 0) {
            dropped(drops_.brokenBlocks, "a command cut off at the end of its service block");
            break;
        }
        whole += length;
    }
    service.input.insert(service.input.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(whole));
    if (service.delayUntil && service.input.size() > serviceBufferBytes) {
        dropped(drops_.delaysGivenUp, "a delay whose held captions outgrew the service buffer (delay ended early)");
        service.delayUntil.reset();
    }
    drain(service);
}

void Cea708Decoder::drain(Service& service)
{
    std::vector<uint8_t>& in = service.input;
    size_t pos = 0;
    while (pos < in.size()) {
        std::span<const uint8_t> rest(in.data() + pos, in.size() - pos);
        if (service.delayUntil && now_ < *service.delayUntil) {
            // A delay holds everything but DelayCancel and Reset, which act at once.
            size_t at = 0;
            while (at < rest.size() && rest[at] != codeDLC && rest[at] != codeRST) {
                const size_t length = cea708CodeLength(rest.subspan(at));
                at = length ? at + length : rest.size();
            }
            if (at >= rest.size())
                break;
            if (rest[at] == codeDLC) {
                service.delayUntil.reset();
                in.erase(in.begin() + static_cast<std::ptrdiff_t>(pos + at));
            } else {
                // A reset flushes what the delay held.
                resetService(service);
                pos += at + 1;
            }
            continue;
        }
        service.delayUntil.reset();
        // Some encoders send EUC-KR pairs bare in G1.
        if (rest.size() >= 2 && isEucKrByte(rest[0]) && isEucKrByte(rest[1])) {
            if (std::optional<char32_t> c = cp949Character(rest[0], rest[1])) {
                korean_.set(static_cast<size_t>(service.number));
                put(service, *c);
                pos += 2;
                continue;
            }
        }
        const size_t length = cea708CodeLength(rest);
        if (length == 0) {
            pos = in.size();  // only whole commands are held; nothing else can be read
            break;
        }
        command(service, rest.first(length));
        pos += length;
    }
    in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(std::min(pos, in.size())));
}

Cea708Decoder::Window* Cea708Decoder::currentWindow(Service& service)
{
    Window* w = service.current >= 0 ? service.windows[static_cast<size_t>(service.current)].get() : nullptr;
    if (!w)
        dropped(drops_.noWindow, "text or a command for a window that is not defined");
    return w;
}

void Cea708Decoder::command(Service& service, std::span<const uint8_t> code)
{
    const uint8_t b = code[0];
    if (b >= 0x20 && b < 0x80) {
        put(service, g0Character(b));
        return;
    }
    if (b >= 0xA0) {
        put(service, g1Character(b));
        return;
    }
    if (b >= 0x80) {
        c1Command(service, code);
        return;
    }
    switch (b) {
    case codeEXT1: {
        const uint8_t e = code[1];
        if (e >= 0x20 && e < 0x80)
            put(service, g2Character(e));
        else if (e >= 0xA0)
            put(service, unsupportedCharacter);
        return;
    }
    case codeP16: {
        const uint8_t high = code[1];
        const uint8_t low = code[2];
        if (high == 0) {
            // The single character of the low byte; a zero is nothing at all.
            if (low >= 0x20 && low < 0x80)
                put(service, g0Character(low));
            else if (low >= 0xA0)
                put(service, g1Character(low));
            return;
        }
        std::optional<char32_t> c = cp949Character(high, low);
        if (!c)
            dropped(drops_.invalidText, "a 16-bit character that is not CP949 (shown as U+FFFD)");
        else
            korean_.set(static_cast<size_t>(service.number));
        put(service, c.value_or(replacementCharacter));
        return;
    }
    case codeBS:
    case codeFF:
    case codeCR:
    case codeHCR:
        break;
    default:
        return;  // NUL, ETX and the codes without a meaning here
    }
    Window* w = currentWindow(service);
    if (!w)
        return;
    changed_.set(static_cast<size_t>(service.number));
    const bool rightToLeft = w->printDirection == RightToLeft;
    switch (b) {
    case codeBS:
        if (rightToLeft ? w->penColumn + 1 < w->columns : w->penColumn > 0) {
            w->penColumn += rightToLeft ? 1 : -1;
            w->cells[static_cast<size_t>(w->penRow)][static_cast<size_t>(w->penColumn)] = 0;
        }
        break;
    case codeFF:
        w->clear();
        w->penRow = 0;
        w->penColumn = 0;
        break;
    case codeCR:
        carriageReturn(*w);
        break;
    case codeHCR:
        w->clearRow(w->penRow);
        w->penColumn = rightToLeft ? w->columns - 1 : 0;
        break;
    }
}

void Cea708Decoder::carriageReturn(Window& w)
{
    // Rows advance against the scroll direction; at the last row the text scrolls. Vertical print
    // directions are read as left to right.
    const bool downward = w.scrollDirection != TopToBottom;
    if (downward && w.penRow + 1 < w.rows) {
        ++w.penRow;
    } else if (!downward && w.penRow > 0) {
        --w.penRow;
    } else if (downward) {
        std::rotate(w.cells.begin(), w.cells.begin() + 1, w.cells.begin() + w.rows);
        w.clearRow(w.rows - 1);
    } else {
        std::rotate(w.cells.begin(), w.cells.begin() + w.rows - 1, w.cells.begin() + w.rows);
        w.clearRow(0);
    }
    w.penColumn = w.printDirection == RightToLeft ? w.columns - 1 : 0;
}

void Cea708Decoder::put(Service& service, char32_t c)
{
    Window* w = currentWindow(service);
    if (!w)
        return;
    changed_.set(static_cast<size_t>(service.number));
    if (w->penRow < 0 || w->penRow >= w->rows || w->penColumn < 0 || w->penColumn >= maxColumns)
        return;  // past the window's edge: the pen stays there until moved
    w->cells[static_cast<size_t>(w->penRow)][static_cast<size_t>(w->penColumn)] = c;
    switch (w->printDirection) {
    case RightToLeft:
        --w->penColumn;
        break;
    default:
        ++w->penColumn;
        break;
    }
}

void Cea708Decoder::resetService(Service& service)
{
    for (auto& w : service.windows)
        w.reset();
    service.current = -1;
    service.delayUntil.reset();
    changed_.set(static_cast<size_t>(service.number));
}

void Cea708Decoder::c1Command(Service& service, std::span<const uint8_t> code)
{
    const uint8_t b = code[0];
    if (b >= codeCW0 && b < codeCLW) {
        service.current = b - codeCW0;
        return;
    }
    if (b >= codeDF0) {
        defineWindow(service, b - codeDF0, code.subspan(1));
        return;
    }
    switch (b) {
    case codeCLW:
    case codeDSW:
    case codeHDW:
    case codeTGW:
    case codeDLW:
        for (int id = 0; id < windowCount; ++id) {
            if (!(code[1] & (1 << id)))
                continue;
            auto& w = service.windows[static_cast<size_t>(id)];
            if (!w)
                continue;  // commands for windows never defined are harmless
            if (b == codeCLW)
                w->clear();
            else if (b == codeDSW)
                w->visible = true;
            else if (b == codeHDW)
                w->visible = false;
            else if (b == codeTGW)
                w->visible = !w->visible;
            else {
                w.reset();
                if (service.current == id)
                    service.current = -1;
            }
        }
        changed_.set(static_cast<size_t>(service.number));
        return;
    case codeDLY:
        if (code[1] > 0)
            service.delayUntil = now_ + std::chrono::milliseconds(100 * code[1]);
        return;
    case codeDLC:
        service.delayUntil.reset();
        return;
    case codeRST:
        resetService(service);
        return;
    case codeSPA:
    case codeSPC:
        // Pen looks (size, font, colours, edges) are not ours to draw; the caption style is.
        currentWindow(service);
        return;
    case codeSPL:
        if (Window* w = currentWindow(service)) {
            w->penRow = std::min(code[1] & 0x0F, w->rows - 1);
            w->penColumn = std::min(code[2] & 0x3F, maxColumns - 1);
        }
        return;
    case codeSWA:
        if (Window* w = currentWindow(service)) {
            w->printDirection = (code[3] >> 4) & 3;
            w->scrollDirection = (code[3] >> 2) & 3;
        }
        return;
    default:
        return;  // the unused C1 codes
    }
}

void Cea708Decoder::defineWindow(Service& service, int id, std::span<const uint8_t> p)
{
    auto& slot = service.windows[static_cast<size_t>(id)];
    const bool created = !slot;
    if (created)
        slot = std::make_unique<Window>();
    Window& w = *slot;
    w.visible = (p[0] & 0x20) != 0;
    const bool relative = (p[1] & 0x80) != 0;
    const int vertical = p[1] & 0x7F;
    // Absolute anchors count 75 rows on the screen; relative ones count hundredths.
    w.position = relative ? std::min(vertical, 99) : std::min(vertical, 74) * 100 / 75;
    const int rows = (p[3] & 0x0F) + 1;
    for (int r = rows; r < w.rows; ++r)
        w.clearRow(r);
    w.rows = rows;
    w.columns = (p[4] & 0x3F) + 1;
    // A window style of 0 keeps the style (a new window takes style 1). Style 7 is the ticker.
    int style = (p[5] >> 3) & 7;
    if (created && style == 0)
        style = 1;
    if (style == 7) {
        w.printDirection = TopToBottom;
        w.scrollDirection = RightToLeft;
    } else if (style != 0) {
        w.printDirection = LeftToRight;
        w.scrollDirection = BottomToTop;
    }
    w.penRow = std::min(w.penRow, w.rows - 1);
    service.current = id;
    changed_.set(static_cast<size_t>(service.number));
}

std::vector<int> Cea708Decoder::takeChangedServices()
{
    std::vector<int> changed;
    for (size_t i = 0; i < changed_.size(); ++i)
        if (changed_[i])
            changed.push_back(static_cast<int>(i));
    changed_.reset();
    return changed;
}

CaptionScreen Cea708Decoder::screenOf(int number) const
{
    CaptionScreen screen;
    if (number < 0 || number > maxService || !services_[static_cast<size_t>(number)])
        return screen;
    const Service& service = *services_[static_cast<size_t>(number)];
    for (int id = 0; id < windowCount; ++id) {
        const Window* w = service.windows[static_cast<size_t>(id)].get();
        if (!w || !w->visible)
            continue;
        std::string text = w->text();
        if (!text.empty())
            screen.push_back({id, w->position, std::move(text)});
    }
    std::stable_sort(screen.begin(), screen.end(),
        [](const ShownWindow& a, const ShownWindow& b) { return a.position < b.position; });
    return screen;
}

}

#include "platform/settings_format.h"

#include "platform/hex_digit.h"
#include "platform/registry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace platform {

namespace {

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

bool parseLine(std::string_view line, SettingsValue& value)
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

std::string formatValue(const SettingsValue& value)
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

}

bool parseSettingsText(std::string_view text, std::vector<SettingsValue>& values, size_t& badLine)
{
    values.clear();
    size_t lineNumber = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        SettingsValue value;
        if (!parseLine(line, value)) {
            badLine = lineNumber;
            values.clear();
            return false;
        }
        // A name given twice keeps its last value, as a second set would.
        auto same = std::find_if(values.begin(), values.end(), [&](auto& v) { return v.name == value.name; });
        if (same != values.end())
            *same = std::move(value);
        else
            values.push_back(std::move(value));
    }
    return true;
}

std::string formatSettingsText(const std::vector<SettingsValue>& values)
{
    std::string text = "# Sublumen settings: the key Software\\Sublumen, one value per line (NAME TYPE DATA).\n";
    for (const SettingsValue& value : values)
        text += formatValue(value);
    return text;
}

}

// Builds ASF files to the published layout for tests: a Header Object holding a File Properties Object,
// an optional Content Description Object and a Script Command Object, followed by an empty Data Object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// The 16 bytes of a GUID written as text ("75B22630-668E-11CF-A6D9-00AA0062CE6C"): the first three
// groups little-endian, the last eight bytes in order.
inline std::string asfGuid(std::string_view text)
{
    auto hex = [&](size_t at) { return static_cast<char>(std::stoi(std::string(text.substr(at, 2)), nullptr, 16)); };
    std::string out;
    for (size_t at : { 6, 4, 2, 0, 11, 9, 16, 14, 19, 21, 24, 26, 28, 30, 32, 34 })
        out += hex(at);
    return out;
}

inline void putLittleEndian(std::string& out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::string utf16le(std::u16string_view text)
{
    std::string out;
    for (char16_t unit : text)
        putLittleEndian(out, unit, 2);
    return out;
}

inline constexpr const char* asfHeaderObjectGuid = "75B22630-668E-11CF-A6D9-00AA0062CE6C";
inline constexpr const char* asfDataObjectGuid = "75B22636-668E-11CF-A6D9-00AA0062CE6C";
inline constexpr const char* asfFilePropertiesGuid = "8CABDCA1-A947-11CF-8EE4-00C00C205365";
inline constexpr const char* asfContentDescriptionGuid = "75B22633-668E-11CF-A6D9-00AA0062CE6C";
inline constexpr const char* asfScriptCommandGuid = "1EFB1A30-0B62-11D0-A39B-00A0C90348F6";
inline constexpr const char* asfScriptCommandReservedGuid = "4B1ACBE3-100B-11D0-A39B-00A0C90348F6";

class AsfBuilder {
public:
    // A command type, stored with a terminating NUL unit as writers store names.
    AsfBuilder& commandType(std::u16string_view name)
    {
        std::u16string units(name);
        units += u'\0';
        types_.push_back(units);
        return *this;
    }

    // A command at presentationTime milliseconds, its name stored with a terminating NUL unit.
    AsfBuilder& command(uint32_t presentationTime, uint16_t typeIndex, std::u16string_view name)
    {
        std::u16string units(name);
        units += u'\0';
        return rawCommand(presentationTime, typeIndex, static_cast<uint16_t>(units.size()), units);
    }

    // A command whose Command Name Length field says declaredLength, followed by exactly these units.
    AsfBuilder& rawCommand(uint32_t presentationTime, uint16_t typeIndex, uint16_t declaredLength, std::u16string_view units)
    {
        commands_.push_back({ presentationTime, typeIndex, declaredLength, std::u16string(units) });
        return *this;
    }

    // A title in a Content Description Object placed before the script commands.
    AsfBuilder& title(std::u16string_view text)
    {
        title_ = std::u16string(text);
        return *this;
    }

    // Counts that disagree with what follows them, as in damaged files.
    AsfBuilder& commandsCount(uint16_t count)
    {
        commandsCount_ = count;
        return *this;
    }
    AsfBuilder& commandTypesCount(uint16_t count)
    {
        commandTypesCount_ = count;
        return *this;
    }

    std::string scriptCommandObject() const
    {
        std::string body = asfGuid(asfScriptCommandReservedGuid);
        putLittleEndian(body, commandsCount_.value_or(static_cast<uint16_t>(commands_.size())), 2);
        putLittleEndian(body, commandTypesCount_.value_or(static_cast<uint16_t>(types_.size())), 2);
        for (const std::u16string& type : types_) {
            putLittleEndian(body, type.size(), 2);
            body += utf16le(type);
        }
        for (const Command& c : commands_) {
            putLittleEndian(body, c.presentationTime, 4);
            putLittleEndian(body, c.typeIndex, 2);
            putLittleEndian(body, c.declaredLength, 2);
            body += utf16le(c.units);
        }
        return object(asfScriptCommandGuid, body);
    }

    // The whole file.
    std::string bytes() const
    {
        std::vector<std::string> objects { fileProperties() };
        if (title_)
            objects.push_back(contentDescription());
        objects.push_back(scriptCommandObject());

        std::string headerBody;
        putLittleEndian(headerBody, objects.size(), 4);
        headerBody += '\x01';
        headerBody += '\x02';
        for (const std::string& o : objects)
            headerBody += o;

        std::string dataBody = asfGuid("E1F1C2A0-5B7C-4D3E-9F10-112233445566");  // File ID
        putLittleEndian(dataBody, 0, 8);  // Total Data Packets
        putLittleEndian(dataBody, 0x0101, 2);
        return object(asfHeaderObjectGuid, headerBody) + object(asfDataObjectGuid, dataBody);
    }

private:
    struct Command {
        uint32_t presentationTime;
        uint16_t typeIndex;
        uint16_t declaredLength;
        std::u16string units;
    };

    static std::string object(const char* guid, const std::string& body)
    {
        std::string out = asfGuid(guid);
        putLittleEndian(out, 24 + body.size(), 8);
        return out + body;
    }

    static std::string fileProperties()
    {
        std::string body = asfGuid("E1F1C2A0-5B7C-4D3E-9F10-112233445566");
        putLittleEndian(body, 0, 8);  // File Size, filled by real writers
        putLittleEndian(body, 0, 8);  // Creation Date
        putLittleEndian(body, 0, 8);  // Data Packets Count
        putLittleEndian(body, 600'000'000, 8);  // Play Duration: 60 s in 100 ns units
        putLittleEndian(body, 570'000'000, 8);  // Send Duration
        putLittleEndian(body, 3100, 8);  // Preroll in milliseconds
        putLittleEndian(body, 2, 4);  // Flags: seekable
        putLittleEndian(body, 3200, 4);  // Minimum Data Packet Size
        putLittleEndian(body, 3200, 4);  // Maximum Data Packet Size
        putLittleEndian(body, 256000, 4);  // Maximum Bitrate
        return object(asfFilePropertiesGuid, body);
    }

    std::string contentDescription() const
    {
        std::u16string titleUnits = *title_ + u'\0';
        std::string body;
        putLittleEndian(body, 2 * titleUnits.size(), 2);
        for (int i = 0; i < 4; ++i)
            putLittleEndian(body, 0, 2);  // author, copyright, description, rating: absent
        body += utf16le(titleUnits);
        return object(asfContentDescriptionGuid, body);
    }

    std::vector<std::u16string> types_;
    std::vector<Command> commands_;
    std::optional<std::u16string> title_;
    std::optional<uint16_t> commandsCount_;
    std::optional<uint16_t> commandTypesCount_;
};

}

#include "app/usage.h"
#include "display/info_overlay.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace sublumen;

namespace {

// The keys part of --help.
std::string usageKeys()
{
    const std::string text = usageText;
    const size_t from = text.find("Keys:");
    const size_t to = text.find("Media keys");
    EXPECT_NE(from, std::string::npos);
    EXPECT_NE(to, std::string::npos);
    return text.substr(from, to - from);
}

// A key is named when it stands on its own: after a blank or slash, before a blank, slash or comma.
bool namesKey(const std::string& keys, const std::string& key)
{
    for (size_t at = keys.find(key); at != std::string::npos; at = keys.find(key, at + 1)) {
        const char before = at == 0 ? ' ' : keys[at - 1];
        const char after = at + key.size() < keys.size() ? keys[at + key.size()] : ' ';
        if ((before == ' ' || before == '/') && (after == ' ' || after == '/' || after == ','))
            return true;
    }
    return false;
}

TEST(Usage, NamesEveryKeyTheHelpOverlayLists)
{
    // The overlay's spellings that --help writes otherwise.
    const std::map<std::string, std::string> spelledAs = {
        { "~", "`" }, { "상하", "Up/Down" }, { "+/-", "Keypad +/-" }, { "1~8", "1-8" },
        { "ESC", "Esc" }, { "@Enter", "Alt+Enter" }, { "LeftClick", "click" }, { "좌/우", "Left/Right" },
        { "Ctrl+좌/우", "Ctrl+Left/Right" }, { "Ctrl+상", "Ctrl+Up" },
    };
    // Keys in parentheses, and those the overlay writes bare.
    std::vector<std::string> overlayKeys;
    std::string overlay;
    for (const char* line : helpLineTable) {
        const std::string text = line;
        overlay += text + '\n';
        for (size_t open = text.find('('); open != std::string::npos; open = text.find('(', open + 1)) {
            const size_t close = text.find(')', open);
            ASSERT_NE(close, std::string::npos) << text;
            overlayKeys.push_back(text.substr(open + 1, close - open - 1));
        }
    }
    for (const char* bare : { "ESC", "@Enter", "Space", "LeftClick", "Home/End", "좌/우", "PgUp/PgDn", "Ctrl+좌/우", "Ctrl+상" }) {
        ASSERT_NE(overlay.find(bare), std::string::npos) << bare;
        overlayKeys.push_back(bare);
    }
    ASSERT_GE(overlayKeys.size(), 36u);
    const std::string keys = usageKeys();
    for (const std::string& key : overlayKeys) {
        const auto other = spelledAs.find(key);
        const std::string named = other == spelledAs.end() ? key : other->second;
        EXPECT_TRUE(namesKey(keys, named)) << "--help does not name " << named << " (" << key << " in the overlay)";
    }
}

}

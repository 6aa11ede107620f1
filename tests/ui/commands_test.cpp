#include "ui/commands.h"

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

using namespace sublumen;

namespace {

// Every key of every row is found again by the lookup the window's inputs use, with the row's handler and
// the key's own number: no key is given twice in one mode, and no row's key is shadowed by the modifier
// rules.
TEST(CommandTable, EveryKeyIsDistinctAndReachesItsRow)
{
    std::set<std::tuple<KeyMode, int, int>> seen;
    for (const CommandRow& row : commandTable()) {
        ASSERT_NE(row.handler, nullptr) << row.name;
        EXPECT_EQ(commandRow(row.command).command, row.command) << row.name;
        for (const KeyBinding& key : row.keys) {
            EXPECT_TRUE(seen.insert({ row.mode, key.virtualKey, key.modifiers }).second)
                << keyLabel(row) << " of " << row.name << " is given twice";
            const std::optional<KeyMatch> match = findKey(key.virtualKey, key.modifiers, row.mode);
            ASSERT_TRUE(match) << row.name;
            EXPECT_EQ(match->row->handler, row.handler) << keyLabel(row) << " of " << row.name;
            EXPECT_EQ(match->key, &key) << keyLabel(row) << " of " << row.name;
        }
    }
    // The inputs that are not keys reach theirs too.
    for (Command command : { Command::Pause, Command::Play, Command::Stop, Command::SetPosition, Command::Rate,
             Command::Open })
        EXPECT_EQ(commandRow(command).command, command);
}

// The key column of the README's key table, row by row.
std::vector<std::string> readmeKeys(const std::string& readme)
{
    std::vector<std::string> keys;
    size_t at = readme.find("\n## Keys\n");
    if (at == std::string::npos)
        return keys;
    at = readme.find("| --- |", at);
    while (at != std::string::npos) {
        at = readme.find('\n', at);
        if (at == std::string::npos || readme.compare(at + 1, 2, "| ") != 0)
            break;
        const size_t end = readme.find(" |", at + 3);
        std::string cell = readme.substr(at + 3, end - at - 3);
        // A lone grave accent is written as code: `` ` ``.
        if (cell.size() > 4 && cell.starts_with("`` ") && cell.ends_with(" ``"))
            cell = cell.substr(3, cell.size() - 6);
        keys.push_back(cell);
        at = end;
    }
    return keys;
}

// The tags of the manual's KEYS section (each ".B" right after a ".TP"), unescaped.
std::vector<std::string> manualKeys(const std::string& manual)
{
    std::vector<std::string> keys;
    const size_t from = manual.find("\n.SH KEYS\n");
    const size_t to = manual.find("\n.SH ", from + 1);
    for (size_t at = manual.find("\n.TP\n.B ", from); at < to; at = manual.find("\n.TP\n.B ", at + 1)) {
        std::string tag = manual.substr(at + 8, manual.find('\n', at + 8) - at - 8);
        for (auto [escaped, plain] :
            { std::pair { "\\-", "-" }, std::pair { "\\(ga", "`" }, std::pair { "\\e", "\\" } })
            for (size_t e = tag.find(escaped); e != std::string::npos; e = tag.find(escaped, e + 1))
                tag.replace(e, std::string(escaped).size(), plain);
        keys.push_back(tag);
    }
    return keys;
}

// Names the first row whose keys a document lists otherwise, or leaves out, or the first key it lists that
// no row has; empty when the document lists the rows' keys in the table's order.
std::string firstDifference(const std::vector<std::string>& listed)
{
    size_t i = 0;
    for (const CommandRow& row : commandTable()) {
        if (row.keys.empty())
            continue;
        if (i >= listed.size())
            return "row " + std::string(row.name) + " (" + keyLabel(row) + ") is missing";
        if (listed[i] != keyLabel(row))
            return "row " + std::string(row.name) + " (" + keyLabel(row) + ") is listed as \"" + listed[i] + "\"";
        ++i;
    }
    return i < listed.size() ? "\"" + listed[i] + "\" is no row's keys" : "";
}

TEST(CommandTable, ReadmeAndManualListEveryRowsKeysInTheTablesOrder)
{
    const std::string source = SUBLUMEN_SOURCE_DIR;
    EXPECT_EQ(firstDifference(readmeKeys(testing_support::readFile(source + "/README.md"))), "") << "README.md";
    EXPECT_EQ(firstDifference(manualKeys(testing_support::readFile(source + "/resources/sublumen.1"))), "")
        << "resources/sublumen.1";
}

}

// sublumen-keys: every key of the player's command table, one line each: the key as the documents write
// it ("Ctrl+Left", "Keypad +", "Click"), a tab, and the command's name. Scripts that press the player's
// keys take them from here rather than from a list of their own.
#include "ui/commands.h"

#include <cstdio>

int main()
{
    for (const sublumen::CommandRow& row : sublumen::commandTable())
        for (const sublumen::KeyBinding& key : row.keys)
            std::printf("%s\t%s\n", sublumen::keyName(key).c_str(), row.name);
    return 0;
}

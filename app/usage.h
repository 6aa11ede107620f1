// What --help prints.
#pragma once

#include <string>

namespace sublumen {

// The command line, the keys (from the command table), the desktop control and the files.
std::string usageText();

}

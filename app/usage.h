// What --help prints.
#pragma once

namespace sublumen {

// The command line, the keys (every key the help overlay lists), the desktop control and the files.
extern const char* const usageText;

}

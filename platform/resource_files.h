// Files the program carries with it (the fonts map), found relative to the program file.
#pragma once

#include <string>

namespace platform {

// The full path of a resource by its name ("fonts.conf"), empty when no resource folder holds it.
// Folders tried: ../share/sublumen from the program's folder (the installed layout, and the build tree
// for programs one level down), share/sublumen beside the program, then share/sublumen in each folder
// further up (programs deeper in the build tree, or a copy of the program inside it).
std::string resourceFile(const char* name);

}

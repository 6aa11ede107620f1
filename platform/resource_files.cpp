#include "platform/resource_files.h"

#include "platform/kernel.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace platform {

std::string resourceFile(const char* name)
{
    char program[1024];
    if (GetModuleFileNameA(nullptr, program, sizeof program) == 0) {
        platformLog("resources: the program file is unknown; no %s\n", name);
        return {};
    }
    const std::filesystem::path folder = std::filesystem::path(program).parent_path();
    std::vector<std::filesystem::path> candidates { folder.parent_path(), folder };
    for (auto up = folder.parent_path(); up.has_relative_path(); up = up.parent_path())
        if (up != folder.parent_path())
            candidates.push_back(up);
    std::error_code ec;
    for (const auto& base : candidates) {
        auto file = base / "share" / "sublumen" / name;
        if (std::filesystem::is_regular_file(file, ec)) {
            platformLog("resources: %s\n", file.c_str());
            return file.string();
        }
    }
    platformLog("resources: no share/sublumen/%s above %s\n", name, folder.c_str());
    return {};
}

}

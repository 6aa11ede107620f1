#include "platform/registry.h"

#include "platform/kernel.h"
#include "platform/settings_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <pwd.h>
#include <string_view>
#include <strings.h>
#include <unistd.h>
#include <utility>
#include <vector>

// The key lives in the settings file (settings_format.h tells its text, settings_file.h how it is read and
// replaced); this file holds the open keys and the registry calls on them.

struct RegistryKey {
    using Value = platform::SettingsValue;

    bool isRoot = false;
    bool writable = false;
    // Values were set, or the key was created: the file is written on close.
    bool changed = false;
    // The file was there but could not be read: whatever it holds, it is never replaced.
    bool unreadable = false;
    // The bytes of a file that was read but is damaged; they are kept beside the new file before it replaces them.
    std::string damagedText;
    std::string path;
    std::vector<Value> values;  // In the order first set, which is the order of the file.

    Value* find(std::string_view name)
    {
        for (Value& v : values)
            if (v.name == name)
                return &v;
        return nullptr;
    }
};

namespace {

RegistryKey currentUserRoot { true };

constexpr const char* sublumenKey = "Software\\Sublumen";
constexpr DWORD keySetValue = 0x0002;

using platform::SettingsFileState;

// Writes the values to a temporary file beside path, forces it to disk and renames it over path.
LONG writeKeyFile(const RegistryKey& key)
{
    if (key.unreadable) {
        platform::platformLog("Registry: %s could not be read, so it is kept and the settings are not saved.\n",
            key.path.c_str());
        return ERROR_ACCESS_DENIED;
    }
    std::string directory = platform::directoryPart(key.path);
    // Without the lock (a folder we cannot read) the save goes on, but leaves other temporary files alone.
    platform::SaveLock lock(directory);
    if (lock.held())
        platform::removeAbandonedTemporaries(directory);
    int error = 0;
    // A damaged file is copied aside first, from the bytes read (a link to a file of another owner may be
    // refused); when the copy cannot be made, the file stays as it is.
    if (!key.damagedText.empty()) {
        std::string kept = key.path + ".unusable";
        if (!platform::replaceFile(directory, kept, key.damagedText, error)) {
            platform::platformLog("Registry: cannot keep %s as %s, so it is not replaced: %s.\n", key.path.c_str(),
                kept.c_str(), std::strerror(error));
            return error == EACCES ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
        }
    }
    if (!platform::replaceFile(directory, key.path, platform::formatSettingsText(key.values), error)) {
        platform::platformLog("Registry: cannot save %s: %s.\n", key.path.c_str(), std::strerror(error));
        return error == EACCES ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
    }
    return ERROR_SUCCESS;
}

bool isSublumenKey(HKEY parent, const char* subKey)
{
    return parent == HKEY_CURRENT_USER && subKey && strcasecmp(subKey, sublumenKey) == 0;
}

}

HKEY const HKEY_CURRENT_USER = &currentUserRoot;

namespace platform {

std::string settingsFilePath()
{
    // A relative XDG_CONFIG_HOME is to be ignored.
    std::string base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* entry = getpwuid(getuid());
            home = entry && entry->pw_dir ? entry->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/sublumen/settings";
}

}

LONG RegOpenKeyExA(HKEY parent, const char* subKey, DWORD, DWORD access, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!isSublumenKey(parent, subKey))
        return ERROR_FILE_NOT_FOUND;
    auto key = std::make_unique<RegistryKey>();
    key->path = platform::settingsFilePath();
    std::string text;
    if (platform::readSettingsFile(key->path, key->values, text) != SettingsFileState::Loaded)
        return ERROR_FILE_NOT_FOUND;
    key->writable = (access & keySetValue) != 0;
    *result = key.release();
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY parent, const char* subKey, DWORD, char*, DWORD, DWORD access, void*, HKEY* result,
    DWORD* disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!isSublumenKey(parent, subKey))
        return ERROR_ACCESS_DENIED;
    auto key = std::make_unique<RegistryKey>();
    key->path = platform::settingsFilePath();
    if (!platform::makeDirectories(platform::directoryPart(key->path))) {
        platform::platformLog("Registry: cannot create %s: %s.\n", platform::directoryPart(key->path).c_str(),
            std::strerror(errno));
        return ERROR_ACCESS_DENIED;
    }
    std::string text;
    SettingsFileState state = platform::readSettingsFile(key->path, key->values, text);
    key->changed = state != SettingsFileState::Loaded;
    key->unreadable = state == SettingsFileState::Unreadable;
    if (state == SettingsFileState::Damaged)
        key->damagedText = std::move(text);
    key->writable = (access & keySetValue) != 0;
    if (disposition)
        *disposition = state == SettingsFileState::Loaded ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = key.release();
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    if (!key || key->isRoot || (data && !size))
        return ERROR_INVALID_PARAMETER;
    RegistryKey::Value* value = key->find(name ? name : "");
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    auto needed = static_cast<DWORD>(value->data.size());
    if (!data) {
        if (size)
            *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, value->data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    if (!key || key->isRoot || (!data && size != 0))
        return ERROR_INVALID_PARAMETER;
    if (!key->writable)
        return ERROR_ACCESS_DENIED;
    std::string bytes = data ? std::string(reinterpret_cast<const char*>(data), size) : std::string();
    std::string valueName = name ? name : "";
    if (RegistryKey::Value* value = key->find(valueName)) {
        value->type = type;
        value->data = std::move(bytes);
    } else {
        key->values.push_back({ std::move(valueName), type, std::move(bytes) });
    }
    key->changed = true;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    if (!key)
        return ERROR_INVALID_PARAMETER;
    if (key->isRoot)
        return ERROR_SUCCESS;
    std::unique_ptr<RegistryKey> owned(key);
    return owned->changed ? writeKeyFile(*owned) : ERROR_SUCCESS;
}

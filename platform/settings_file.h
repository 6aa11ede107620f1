// The settings file on disk: reading it with limits fit for a settings file, and replacing it atomically
// so that an interrupted save keeps the old file.
#pragma once

#include "platform/owned_handles.h"
#include "platform/settings_format.h"

#include <string>
#include <vector>

namespace platform {

// Unreadable: there is a file that could not be read (no permission, not a regular file, too large, read
// error). Damaged: it was read but is not a settings file. Both are logged once per process.
enum class SettingsFileState { Missing, Loaded, Unreadable, Damaged };

// Reads the file at path into values; text keeps the bytes read, so a damaged file can be kept aside as it was.
SettingsFileState readSettingsFile(const std::string& path, std::vector<SettingsValue>& values, std::string& text);

// Creates directory and its parents; true when it is there afterwards.
bool makeDirectories(const std::string& directory);
// The folder part of path ("." when it has none).
std::string directoryPart(const std::string& path);

// Writes text to a temporary file in directory, forces it to disk and renames it over target, so target
// is either its old self or the whole new text. False with error set when that could not be done.
bool replaceFile(const std::string& directory, const std::string& target, const std::string& text, int& error);

// Saves hold this lock on the settings folder for as long as their temporary file exists, so a temporary
// file found by the holder belongs to a save that was killed half-way; the lock goes with the process
// that held it.
class SaveLock {
public:
    explicit SaveLock(const std::string& directory);
    bool held() const { return folder_.valid(); }

private:
    FileDescriptor folder_;
};

// Removes the temporary files of saves that were killed half-way; only for the holder of the SaveLock.
void removeAbandonedTemporaries(const std::string& directory);

}

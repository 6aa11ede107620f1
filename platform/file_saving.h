// Files saved so that nothing is ever half written or lost: the new bytes go to a temporary file beside
// the target, which is renamed into place only once it is whole on the disk.
#pragma once

#include <string>
#include <string_view>

namespace platform {

enum class FileSaveError {
    None,
    NotPermitted, // the folder or the file may not be written (read-only, permissions)
    NoSpace, // the disk or the quota is full
    Exists, // a new file was to be written and one of that name is there
    OriginalNotFile, // the name the original is to be kept under is taken by something not a file
    Io, // any other failure
};

struct FileSave {
    FileSaveError error = FileSaveError::None;
    int errnum = 0; // the operating system's code, for the log
    bool keptOriginal = false; // replaceFileKeepingOriginal kept the old file as its original now
};

// Reads a whole regular file into bytes; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string& bytes);

// Replaces the file at path with bytes, keeping its permissions. The old file is kept first as
// path + originalSuffix unless something of that name exists already (a later save keeps the first
// original); a name taken by a folder or the like fails with OriginalNotFile. On any failure the file,
// the original and the folder are as they were.
FileSave replaceFileKeepingOriginal(const std::string& path, std::string_view bytes, const char* originalSuffix);

// Writes bytes as a new file at path; an existing file of that name is never replaced (Exists).
FileSave writeNewFile(const std::string& path, std::string_view bytes);

}

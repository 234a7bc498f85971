// What a path names, found without opening it (opening a named pipe can
// block).
#pragma once

enum class FileKind {
    kMissing,    // nothing there, or it cannot be looked at
    kTooLong,    // the path is too long for the file system
    kRegular,
    kDevice,     // a character or block device such as /dev/null
    kDirectory,
    kFifo,
    kSocket,
    kOther,
};

FileKind KindOfFile(const char* path);

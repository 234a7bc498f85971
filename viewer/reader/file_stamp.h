// What tells one state of a file from another: its identity, size and time
// of change, as the terminal view and the server look for a report written
// again.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace tarnview {

struct FileStamp {
    unsigned long long device = 0, inode = 0, size = 0;
    long long modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of a file, none when it cannot be read.
std::optional<FileStamp> StampOf(const std::string& path);

// What a file that is not a regular one is ("a directory", "a named pipe
// (FIFO)", ...), for the message that refuses it.
const char* KindOfFile(mode_t mode);

}  // namespace tarnview

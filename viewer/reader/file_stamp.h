// What tells one state of a file from another: its identity, size and time
// of change, as the terminal view and the server look for a report written
// again.
#pragma once

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

}  // namespace tarnview

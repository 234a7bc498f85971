// Watching a folder's tree for files that were closed: told by the system
// where it can tell (inotify on Linux: directory_watch_inotify.cpp), or by
// looking at the tree again at intervals (directory_watch_polling.cpp, on
// every platform), where it cannot or when asked to (a network filesystem
// tells nothing of other machines' changes).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace host {

// What tells one writing of a file from another: its time and size.
struct FileStamp {
    std::filesystem::file_time_type time;
    std::uintmax_t size = 0;
    bool operator==(const FileStamp&) const = default;
};

// The file's stamp; an empty one when it cannot be read.
FileStamp StampOf(const std::filesystem::path& file);

// Which files the watch is about, and which folders below the root it
// looks into, by their path.
struct WatchedNames {
    std::function<bool(const std::filesystem::path&)> file;
    std::function<bool(const std::filesystem::path&)> folder;
};

// What changed since the last look.
struct TreeChanges {
    // Wanted files that were closed after writing, or renamed or linked in.
    std::vector<std::filesystem::path> files;
    // Folders whose whole tree is to be looked at again: new ones, and the
    // root when the watch missed changes (its queue overflowed).
    std::vector<std::filesystem::path> folders;
    // Set when the root was removed or moved away.
    bool rootGone = false;
    // Set when the watch can no longer be trusted (it could not watch a new
    // folder): why, for the one line that says the tree is looked at by
    // polling from now on.
    std::string lost;
};

class DirectoryWatch {
public:
    virtual ~DirectoryWatch() = default;
    // A descriptor that becomes readable when there are changes, or -1.
    virtual int Descriptor() const = 0;
    // How long to wait before looking again without being told (-1: wait
    // for the descriptor only).
    virtual int WaitMilliseconds() const = 0;
    virtual TreeChanges TakeChanges() = 0;
};

// The system's own watch of root's tree (the folders named, not following
// symbolic links to folders), or null with the reason in `why` where there is none or it
// cannot watch the tree.
std::unique_ptr<DirectoryWatch> SystemWatch(const std::filesystem::path& root, const WatchedNames& names,
                                            std::string& why);

// A watch that looks at the tree every `interval` milliseconds: a wanted
// file is a change once it was seen changed and then the same at the next
// look (a file written in place is not taken half-written).
std::unique_ptr<DirectoryWatch> PollingWatch(const std::filesystem::path& root, const WatchedNames& names,
                                             int interval);

}  // namespace host

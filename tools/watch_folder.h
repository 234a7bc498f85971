// tarnreport --watch DIR: writes the report of each run under DIR as soon as
// its run data is closed, and goes on until asked to stop; --once reports
// what is there and ends.
#pragma once

#include <filesystem>
#include <string>

namespace host {

struct WatchOptions {
    std::string folder;
    unsigned jobs = 1;  // report processes at once
    bool once = false;  // report the runs there now, then end
    bool poll = false;  // look at the tree every second instead of being told
};

// Returns the exit status.
int WatchFolder(const WatchOptions& options);

// Whether the watch reports the run whose data file this is: NAME.vdr,
// NAME not starting with a dot (a hidden file is a program's temporary).
bool IsWatchedRunData(const std::filesystem::path& path);
// Whether the watch looks into this folder below DIR: not a hidden one (a
// program's scratch folder).
bool IsWatchedFolder(const std::filesystem::path& path);

}  // namespace host

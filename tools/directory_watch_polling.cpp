// The portable watch: the tree looked at every so often.
#include <map>
#include <system_error>
#include <utility>

#include "directory_watch.h"

namespace host {
namespace {

namespace fs = std::filesystem;

using Stamp = FileStamp;

struct Sighting {
    Stamp seen;      // at the last look
    Stamp reported;  // when it was last given as a change
};

class PollingTreeWatch : public DirectoryWatch {
public:
    PollingTreeWatch(fs::path root, WatchedNames names, int interval)
        : m_root(std::move(root)), m_names(std::move(names)), m_interval(interval) {
        for (const auto& [path, stamp] : Look()) m_files[path] = {stamp, stamp};
    }

    int Descriptor() const override { return -1; }
    int WaitMilliseconds() const override { return m_interval; }

    TreeChanges TakeChanges() override {
        TreeChanges changes;
        std::error_code error;
        changes.rootGone = !fs::is_directory(m_root, error);
        std::map<fs::path, Sighting> files;
        for (const auto& [path, stamp] : Look()) {
            auto known = m_files.find(path);
            // New since the last look: given once it is the same at the next.
            Sighting sighting = known != m_files.end() ? known->second : Sighting{};
            if (stamp == sighting.seen && stamp != sighting.reported) {
                changes.files.push_back(path);
                sighting.reported = stamp;
            }
            sighting.seen = stamp;
            files.emplace(path, sighting);
        }
        m_files = std::move(files);
        return changes;
    }

private:
    // Every wanted regular file in the folders named under the root, with
    // its stamp; what cannot
    // be read (a folder removed while looked at, one without permission) is
    // passed over.
    std::map<fs::path, Stamp> Look() const {
        std::map<fs::path, Stamp> found;
        std::error_code error;
        fs::recursive_directory_iterator entry(m_root, fs::directory_options::skip_permission_denied, error), end;
        for (; !error && entry != end; entry.increment(error)) {
            std::error_code ignored;
            if (entry->is_directory(ignored) && !m_names.folder(entry->path())) entry.disable_recursion_pending();
            if (!m_names.file(entry->path()) || !entry->is_regular_file(ignored)) continue;
            found.emplace(entry->path(), StampOf(entry->path()));
        }
        return found;
    }

    fs::path m_root;
    WatchedNames m_names;
    int m_interval;
    std::map<fs::path, Sighting> m_files;
};

}  // namespace

FileStamp StampOf(const fs::path& file) {
    std::error_code error;
    FileStamp stamp{fs::last_write_time(file, error), 0};
    if (!error) stamp.size = fs::file_size(file, error);
    return error ? FileStamp{} : stamp;
}

std::unique_ptr<DirectoryWatch> PollingWatch(const fs::path& root, const WatchedNames& names, int interval) {
    return std::make_unique<PollingTreeWatch>(root, names, interval);
}

}  // namespace host

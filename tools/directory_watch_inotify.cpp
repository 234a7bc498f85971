// The Linux watch: inotify on every folder of the tree.  A run's file is
// closed when it is closed after writing (IN_CLOSE_WRITE), renamed in
// (IN_MOVED_TO) or linked in (IN_CREATE of a file with another link, or of
// a symbolic link to a file);
// a file just created is not, since it is still empty.
#include <fcntl.h>
#include <limits.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "directory_watch.h"

namespace host {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kFolderEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

std::string WatchProblem(const fs::path& folder, int error) {
    std::string why = "cannot watch " + folder.string() + ": " + std::strerror(error);
    if (error == ENOSPC) why += " (the limit fs.inotify.max_user_watches)";
    return why;
}

// A file given by link(2) or symlink(2): the name is new but the file
// was whole before.
bool IsLinkedIn(const fs::path& file) {
    struct stat status {};
    if (::lstat(file.c_str(), &status) != 0) return false;
    if (S_ISLNK(status.st_mode)) return ::stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode);
    return S_ISREG(status.st_mode) && status.st_nlink > 1;
}

class InotifyWatch : public DirectoryWatch {
public:
    InotifyWatch(fs::path root, WatchedNames names) : m_root(std::move(root)), m_names(std::move(names)) {}
    ~InotifyWatch() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    InotifyWatch(const InotifyWatch&) = delete;
    InotifyWatch& operator=(const InotifyWatch&) = delete;

    // Watches the whole tree; returns why it cannot, or "".
    std::string Start() {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0) return WatchProblem(m_root, errno);
        std::string why = AddTree(m_root);
        m_rootWatch = m_folders.empty() ? -1 : m_folders.begin()->first;
        return why;
    }

    int Descriptor() const override { return m_fd; }
    int WaitMilliseconds() const override { return -1; }

    TreeChanges TakeChanges() override {
        TreeChanges changes;
        alignas(inotify_event) char buffer[64 * (sizeof(inotify_event) + NAME_MAX + 1)];
        for (;;) {
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                Take(*event, changes);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return changes;
    }

private:
    void Take(const inotify_event& event, TreeChanges& changes) {
        if (event.mask & IN_Q_OVERFLOW) {
            changes.folders.push_back(m_root);
            return;
        }
        if ((event.mask & (IN_IGNORED | IN_MOVE_SELF)) && event.wd == m_rootWatch) changes.rootGone = true;
        if (event.mask & IN_IGNORED) {
            m_folders.erase(event.wd);
            return;
        }
        const auto folder = m_folders.find(event.wd);
        if (folder == m_folders.end() || event.len == 0) return;
        const fs::path path = folder->second / event.name;
        if (event.mask & IN_ISDIR) {
            if (!(event.mask & (IN_CREATE | IN_MOVED_TO)) || !m_names.folder(path)) return;
            std::string why = AddTree(path);
            if (!why.empty() && changes.lost.empty()) changes.lost = why;
            changes.folders.push_back(path);
            return;
        }
        if (!m_names.file(path)) return;
        if ((event.mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) || ((event.mask & IN_CREATE) && IsLinkedIn(path)))
            changes.files.push_back(path);
    }

    // Watches the folder and every folder named below it (a folder moved within
    // the tree keeps its watch, now under its new path).  A folder that
    // went away meanwhile is no problem.
    std::string AddTree(const fs::path& top) {
        if (std::string why = Add(top); !why.empty()) return why;
        std::error_code error;
        fs::recursive_directory_iterator entry(top, fs::directory_options::skip_permission_denied, error), end;
        for (; !error && entry != end; entry.increment(error)) {
            std::error_code ignored;
            if (!entry->is_directory(ignored) || entry->is_symlink(ignored)) continue;
            if (!m_names.folder(entry->path())) {
                entry.disable_recursion_pending();
                continue;
            }
            if (std::string why = Add(entry->path()); !why.empty()) return why;
        }
        return "";
    }

    std::string Add(const fs::path& folder) {
        const int wd = ::inotify_add_watch(m_fd, folder.c_str(), kFolderEvents);
        if (wd >= 0) {
            m_folders[wd] = folder;
            return "";
        }
        if (errno == ENOENT || errno == ENOTDIR || errno == EACCES) return "";
        return WatchProblem(folder, errno);
    }

    fs::path m_root;
    WatchedNames m_names;
    int m_fd = -1;
    int m_rootWatch = -1;
    std::unordered_map<int, fs::path> m_folders;  // by watch descriptor
};

}  // namespace

std::unique_ptr<DirectoryWatch> SystemWatch(const fs::path& root, const WatchedNames& names, std::string& why) {
    auto watch = std::make_unique<InotifyWatch>(root, names);
    why = watch->Start();
    if (!why.empty()) return nullptr;
    return watch;
}

}  // namespace host

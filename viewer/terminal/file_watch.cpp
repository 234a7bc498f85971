#include "file_watch.h"

#include <sys/stat.h>

namespace tarnview::terminal {

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return std::nullopt;
    return FileStamp{static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino),
                     static_cast<unsigned long long>(status.st_size),
                     static_cast<long long>(status.st_mtim.tv_sec) * 1000000000LL + status.st_mtim.tv_nsec};
}

bool FileWatch::Changed(const std::optional<FileStamp>& current, Clock::time_point now) {
    if (m_seen == m_shown && current != m_shown) m_differsSince = now;
    if (current != m_seen) {
        m_seen = current;
        m_since = now;
        return current && current != m_shown && now - m_differsSince >= kLongestWait;
    }
    return current && current != m_shown && now - m_since >= kSettle;
}

}  // namespace tarnview::terminal

#include "file_watch.h"

namespace tarnview::terminal {

bool FileWatch::Changed(const std::optional<FileStamp>& current, Clock::time_point now) {
    if (current != m_seen) {
        m_seen = current;
        m_since = now;
        return false;
    }
    return current && current != m_shown && now - m_since >= kSettle;
}

}  // namespace tarnview::terminal

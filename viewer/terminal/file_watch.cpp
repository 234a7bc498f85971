#include "file_watch.h"

namespace tarnview::terminal {

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

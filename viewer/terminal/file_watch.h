// Notices a report written again while it is shown: the file's identity,
// size and time are compared at each look, and a change counts once the
// file has stayed the same for a while (the writer has finished), or once
// it has kept changing for longer than that (a report that grows is shown
// as it grows).
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "file_stamp.h"

namespace tarnview::terminal {

using tarnview::FileStamp;
using tarnview::StampOf;

class FileWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kSettle{500};
    static constexpr std::chrono::milliseconds kLongestWait{1000};

    FileWatch(std::optional<FileStamp> shown, Clock::time_point now)
        : m_shown(shown), m_seen(shown), m_since(now), m_differsSince(now) {}

    // Given the file's stamp now, whether it should be read again: it
    // differs from the one shown and has not changed for kSettle, or it has
    // differed for kLongestWait however often it changed meanwhile.
    bool Changed(const std::optional<FileStamp>& current, Clock::time_point now);
    // The stamp of the version now shown.
    void Shown(const std::optional<FileStamp>& stamp) { m_shown = m_seen = stamp; }

private:
    std::optional<FileStamp> m_shown, m_seen;
    Clock::time_point m_since;         // when the file last changed
    Clock::time_point m_differsSince;  // when it first differed from the one shown
};

}  // namespace tarnview::terminal

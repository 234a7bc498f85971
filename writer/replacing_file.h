// A file that replaces its target whole or not at all.  Its content is
// written to a file without a name in the target's directory (a named
// temporary TARGET.tmp-PID-N where the file system has no unnamed files),
// and Commit gives it the target's name in one rename.  A process killed on
// its way, even by SIGKILL, leaves the target as it was and, with an unnamed
// file, nothing else; a named temporary of a process that no longer runs is
// removed by the next ReplacingFile of the same target.
//
// The target is checked when the file is made: a symbolic link is followed,
// so the file it points to is replaced, and a target that exists but is not
// a regular file (a directory, a FIFO, a device) is refused.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarn::files {

// The file cannot be made, written or renamed; the message names it.
class ReplaceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ReplacingFile {
public:
    explicit ReplacingFile(const std::filesystem::path& target);
    // Without Commit, what was written is dropped.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // The path that Commit replaces (the target, its symbolic links followed).
    const std::filesystem::path& Target() const { return m_target; }
    // Bytes written so far.
    std::uint64_t Size() const { return m_written + m_buffer.size(); }
    // Adds text (kept in a buffer until it is large).
    void Write(std::string_view text);
    // Writes what is buffered, syncs it and gives the file the target's name.
    void Commit();
    // Drops what was written; later calls are refused.
    void Discard();

private:
    void Flush();
    void WriteAll(std::string_view text);
    void Name();

    std::filesystem::path m_target;
    std::filesystem::path m_named;  // the temporary's name; empty for an unnamed file
    int m_fd = -1;
    bool m_done = false;
    std::uint64_t m_written = 0;
    std::string m_buffer;
};

}  // namespace tarn::files

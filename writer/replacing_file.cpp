// The file that replaces its target whole: an unnamed file (O_TMPFILE) or a
// named temporary beside the target, linked or renamed to it at the end.
#include "replacing_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace tarn::files {
namespace {

namespace fs = std::filesystem;

constexpr size_t kFlushBytes = size_t{1} << 20;
constexpr int kMaxLinks = 40;  // as the kernel's own limit on a path's links

std::string Describe(const std::string& what, const fs::path& path, int error) {
    return what + " " + path.string() + ": " + std::strerror(error);
}

// The target with its symbolic links followed (a dangling link gives the
// path it names, which is then made).
fs::path FollowLinks(fs::path target) {
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(target, error)) || error) return target;
        const fs::path link = fs::read_symlink(target, error);
        if (error) return target;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    throw ReplaceError(Describe("cannot write", target, ELOOP));
}

// A target that exists is a regular file: rename would put the run in
// place of a directory's name, a FIFO or a device.
void CheckKind(const fs::path& target) {
    struct stat status {};
    if (::stat(target.c_str(), &status) != 0) return;
    if (S_ISDIR(status.st_mode)) throw ReplaceError(Describe("cannot write", target, EISDIR));
    if (!S_ISREG(status.st_mode))
        throw ReplaceError("cannot write " + target.string() + ": it is not a regular file");
}

fs::path DirectoryOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

// Whether name is TARGET.tmp-PID-N, where PID no longer runs.
bool IsAbandonedTemporary(const std::string& name, const std::string& prefix) {
    if (name.rfind(prefix, 0) != 0) return false;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    long pid = 0;
    const auto [end, error] = std::from_chars(first, last, pid);
    if (error != std::errc() || end == first || end == last || *end != '-' || pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Named temporaries of this target left by processes that were killed.
void RemoveAbandonedTemporaries(const fs::path& target) {
    const std::string prefix = target.filename().string() + ".tmp-";
    std::error_code error;
    for (fs::directory_iterator entry(DirectoryOf(target), error), end; !error && entry != end;
         entry.increment(error)) {
        if (IsAbandonedTemporary(entry->path().filename().string(), prefix))
            fs::remove(entry->path(), error);
    }
}

// TARGET.tmp-PID-N, made with O_EXCL (or, for an unnamed file, linked).
template <typename Make>
fs::path FreeName(const fs::path& target, const Make& make) {
    for (int attempt = 0;; ++attempt) {
        fs::path name = target;
        name += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        if (make(name)) return name;
        if (errno != EEXIST || attempt > 1000)
            throw ReplaceError(Describe("cannot write " + target.string() + ": cannot create", name, errno));
    }
}

}  // namespace

ReplacingFile::ReplacingFile(const fs::path& target) : m_target(FollowLinks(target)) {
    if (m_target.empty()) throw ReplaceError("cannot write: no file name given");
    CheckKind(m_target);
    RemoveAbandonedTemporaries(m_target);
    m_fd = ::open(DirectoryOf(m_target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (m_fd >= 0) return;
    // No unnamed files here (or no such directory: the named file says why).
    m_named = FreeName(m_target, [this](const fs::path& name) {
        m_fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        return m_fd >= 0;
    });
}

ReplacingFile::~ReplacingFile() {
    if (!m_done) Discard();
}

void ReplacingFile::Write(std::string_view text) {
    if (m_done) throw ReplaceError("cannot write " + m_target.string() + ": the file is finished");
    if (m_buffer.size() + text.size() < kFlushBytes) {
        m_buffer += text;
        return;
    }
    Flush();
    if (text.size() < kFlushBytes) m_buffer += text;
    else WriteAll(text);
}

void ReplacingFile::Commit() {
    if (m_done) throw ReplaceError("cannot write " + m_target.string() + ": the file is finished");
    Flush();
    if (::fsync(m_fd) != 0) throw ReplaceError(Describe("cannot write", m_target, errno));
    if (m_named.empty()) Name();
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0) throw ReplaceError(Describe("cannot write", m_target, errno));
    if (std::rename(m_named.c_str(), m_target.c_str()) != 0)
        throw ReplaceError(Describe("cannot rename " + m_named.string() + " to", m_target, errno));
    m_named.clear();
    m_done = true;
}

// The unnamed file gets a temporary name, to be renamed over the target
// (a link cannot replace a file).
void ReplacingFile::Name() {
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    m_named = FreeName(m_target, [&](const fs::path& name) {
        return ::linkat(m_fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0 ||
               ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
    });
}

void ReplacingFile::Discard() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_named.empty()) ::unlink(m_named.c_str());
    m_named.clear();
    m_buffer.clear();
    m_done = true;
}

void ReplacingFile::Flush() {
    WriteAll(m_buffer);
    m_buffer.clear();
}

void ReplacingFile::WriteAll(std::string_view text) {
    const char* at = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t wrote = ::write(m_fd, at, left);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) throw ReplaceError(Describe("cannot write", m_target, wrote < 0 ? errno : ENOSPC));
        at += wrote;
        left -= static_cast<size_t>(wrote);
    }
    m_written += text.size();
}

}  // namespace tarn::files

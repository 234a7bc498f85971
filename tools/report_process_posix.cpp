// Report processes on POSIX systems: posix_spawn of /proc/self/exe, output
// in unlinked scratch files, waitpid.
#include "report_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace host {

const unsigned kMaxChildren = 1024;

class ChildProcess {
public:
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    int waitStatus = 0;

    ~ChildProcess() {
        if (out >= 0) close(out);
        if (err >= 0) close(err);
    }
};

void ChildDeleter::operator()(ChildProcess* child) const { delete child; }

namespace {

std::string SystemError(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// A file that vanishes with its last descriptor, in TMPDIR or /tmp.
int OpenScratchFile(std::string& why) {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string path = (tmpdir != nullptr && *tmpdir != '\0') ? tmpdir : "/tmp";
    path += "/tarnreport-XXXXXX";
    int fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        why = SystemError("cannot create a scratch file " + path, errno);
        return -1;
    }
    unlink(path.c_str());
    return fd;
}

std::string SelfPath() {
    std::string path(4096, '\0');
    ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    path.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return path;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[65536];
    lseek(fd, 0, SEEK_SET);
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

int Spawn(const std::string& program, const std::vector<std::string>& arguments, int out, int err,
          pid_t& pid) {
    std::vector<char*> argv;
    std::string name = program;
    argv.push_back(name.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

}  // namespace

ChildHandle StartChild(const std::vector<std::string>& arguments, std::string& why) {
    ChildHandle child(new ChildProcess);
    child->out = OpenScratchFile(why);
    if (child->out < 0) return nullptr;
    child->err = OpenScratchFile(why);
    if (child->err < 0) return nullptr;
    std::string self = SelfPath();
    if (self.empty()) {
        why = SystemError("cannot find this program's file", errno);
        return nullptr;
    }
    int error = Spawn(self, arguments, child->out, child->err, child->pid);
    if (error != 0) {
        why = SystemError("cannot start " + self, error);
        return nullptr;
    }
    return child;
}

std::size_t WaitForAnyChild(const std::vector<ChildProcess*>& running) {
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0 && errno == EINTR) continue;
        if (pid < 0) std::abort();  // no child left: the caller's bookkeeping is wrong
        for (std::size_t i = 0; i < running.size(); ++i) {
            if (running[i]->pid == pid) {
                running[i]->waitStatus = status;
                return i;
            }
        }
    }
}

ChildOutcome CollectChild(ChildProcess& child) {
    ChildOutcome outcome;
    outcome.out = ReadAll(child.out);
    outcome.err = ReadAll(child.err);
    if (WIFEXITED(child.waitStatus)) {
        outcome.exitStatus = WEXITSTATUS(child.waitStatus);
    } else if (WIFSIGNALED(child.waitStatus)) {
        int signal = WTERMSIG(child.waitStatus);
        outcome.abnormal = "was killed by signal " + std::to_string(signal);
        if (const char* name = strsignal(signal)) outcome.abnormal += std::string(" (") + name + ")";
    }
    return outcome;
}

unsigned ProcessorCount() {
    long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

}  // namespace host

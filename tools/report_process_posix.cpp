// Report processes on POSIX systems: posix_spawn of /proc/self/exe, output
// in scratch files in memory (or unlinked files), waitpid.
#include "report_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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

// Errors that end when a running child ends and gives back what it held.
bool ShortOfResources(int error) {
    return error == EMFILE || error == ENFILE || error == EAGAIN || error == ENOMEM;
}

// A file that vanishes with its last descriptor: in memory where the system
// has such files, else in TMPDIR or /tmp (so a TMPDIR that is missing does
// not stop the batch).
int OpenScratchFile(StartFailure& failure) {
    const int inMemory = memfd_create("tarnreport-output", MFD_CLOEXEC);
    if (inMemory >= 0 || ShortOfResources(errno)) {
        if (inMemory < 0) failure = {SystemError("cannot create a scratch file", errno), true};
        return inMemory;
    }
    const char* tmpdir = std::getenv("TMPDIR");
    for (const std::string& directory : {std::string(tmpdir != nullptr ? tmpdir : ""), std::string("/tmp")}) {
        if (directory.empty()) continue;
        std::string path = directory + "/tarnreport-XXXXXX";
        const int fd = mkostemp(path.data(), O_CLOEXEC);
        if (fd >= 0) {
            unlink(path.c_str());
            return fd;
        }
        failure = {SystemError("cannot create a scratch file " + path, errno), ShortOfResources(errno)};
    }
    return -1;
}

// The signals that ask the host to stop, and the one that says a child
// ended; all four are blocked but while the host waits for its children.
volatile std::sig_atomic_t stopSignal = 0;
bool catching = false;
sigset_t caught, maskBefore;

void NoteStop(int signal) { stopSignal = signal; }
void NoteChild(int) {}

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
    // The child starts as the host did: the signals unblocked, each with
    // its usual action; in a process group of its own, so that a Ctrl-C
    // reaches only the host, which ends or waits for its children.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    short flags = POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&attributes, 0);
    if (catching) {
        posix_spawnattr_setsigmask(&attributes, &maskBefore);
        posix_spawnattr_setsigdefault(&attributes, &caught);
        flags |= POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    }
    posix_spawnattr_setflags(&attributes, flags);
    int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

}  // namespace

ChildHandle StartChild(const std::vector<std::string>& arguments, StartFailure& failure) {
    ChildHandle child(new ChildProcess);
    child->out = OpenScratchFile(failure);
    if (child->out < 0) return nullptr;
    child->err = OpenScratchFile(failure);
    if (child->err < 0) return nullptr;
    std::string self = SelfPath();
    if (self.empty()) {
        failure = {SystemError("cannot find this program's file", errno), ShortOfResources(errno)};
        return nullptr;
    }
    int error = Spawn(self, arguments, child->out, child->err, child->pid);
    if (error != 0) {
        failure = {SystemError("cannot start " + self, error), ShortOfResources(error)};
        return nullptr;
    }
    return child;
}

void CatchStopRequests() {
    if (catching) return;
    sigemptyset(&caught);
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = NoteStop;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
        sigaddset(&caught, signal);
    }
    action.sa_handler = NoteChild;
    sigaction(SIGCHLD, &action, nullptr);
    sigaddset(&caught, SIGCHLD);
    sigprocmask(SIG_BLOCK, &caught, &maskBefore);
    catching = true;
}

int StopSignal() { return stopSignal; }

std::string SignalName(int signal) {
    std::string name = std::to_string(signal);
    if (const char* text = strsignal(signal)) name += std::string(" (") + text + ")";
    return name;
}

std::size_t WaitForAnyChild(const std::vector<ChildProcess*>& running) {
    for (;;) {
        if (stopSignal != 0) return kStopped;
        int status = 0;
        const pid_t pid = waitpid(-1, &status, catching ? WNOHANG : 0);
        if (pid < 0 && errno == EINTR) continue;
        if (pid < 0) std::abort();  // no child left: the caller's bookkeeping is wrong
        if (pid == 0) {
            // Nothing ended yet: wait for a child's end or a stop, the
            // signals let in only here, so that neither can come unseen.
            sigset_t waiting = maskBefore;
            for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigdelset(&waiting, signal);
            sigsuspend(&waiting);
            continue;
        }
        for (std::size_t i = 0; i < running.size(); ++i) {
            if (running[i]->pid == pid) {
                running[i]->waitStatus = status;
                return i;
            }
        }
    }
}

std::size_t WaitForChildOrChange(const std::vector<ChildProcess*>& running, int descriptor, int milliseconds) {
    CatchStopRequests();  // the wait below lets the signals in
    for (;;) {
        if (stopSignal != 0) return kStopped;
        int status = 0;
        pid_t pid = running.empty() ? 0 : waitpid(-1, &status, WNOHANG);
        if (pid < 0 && errno == EINTR) continue;
        if (pid < 0) pid = 0;  // no child at all
        for (std::size_t i = 0; pid > 0 && i < running.size(); ++i) {
            if (running[i]->pid != pid) continue;
            running[i]->waitStatus = status;
            return i;
        }
        if (pid > 0) continue;  // a child this wait does not know
        pollfd readable{descriptor, POLLIN, 0};
        const timespec limit{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
        sigset_t waiting = maskBefore;
        for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigdelset(&waiting, signal);
        const int ready = ppoll(descriptor >= 0 ? &readable : nullptr, descriptor >= 0 ? 1 : 0,
                                milliseconds >= 0 ? &limit : nullptr, &waiting);
        if (ready < 0 && errno == EINTR) continue;  // a child ended, or a stop came
        return kChanged;
    }
}

void FinishChild(ChildProcess& child) {
    while (waitpid(child.pid, &child.waitStatus, 0) < 0 && errno == EINTR) {
    }
}

void EndChild(ChildProcess& child) {
    kill(child.pid, SIGTERM);
    while (waitpid(child.pid, &child.waitStatus, 0) < 0 && errno == EINTR) {
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

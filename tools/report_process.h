// Reports in processes of their own.  A report sets the process's numeric
// locale, so the host runs each of several reports in a new instance of
// itself; the child's standard output and error are held in scratch files
// until the host prints them in the order the runs were given.
//
// One implementation per platform: report_process_posix.cpp and
// report_process_windows.cpp.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace host {

class ChildProcess;

struct ChildDeleter {
    void operator()(ChildProcess* child) const;
};
using ChildHandle = std::unique_ptr<ChildProcess, ChildDeleter>;

// How a child ended and what it printed.
struct ChildOutcome {
    std::string out;        // its standard output
    std::string err;        // its standard error
    int exitStatus = -1;    // its exit status when it exited
    std::string abnormal;   // how it ended otherwise ("killed by signal 11")
};

// The most children the platform can wait for at once.
extern const unsigned kMaxChildren;

// Why a child was not started, and whether it may start once a running
// child has ended (the host ran short of file descriptors or processes).
struct StartFailure {
    std::string why;
    bool retry = false;
};

// Starts this program again with the arguments; on failure returns null and
// says why.
ChildHandle StartChild(const std::vector<std::string>& arguments, StartFailure& failure);

// From here on a request to stop (SIGTERM, SIGINT or SIGHUP; Ctrl-C or
// Ctrl-Break on Windows) no longer ends the host at once: WaitForAnyChild
// returns kStopped instead, and StopSignal() tells which signal came.
void CatchStopRequests();
int StopSignal();  // 0 while none came
std::string SignalName(int signal);  // "15 (Terminated)"

constexpr std::size_t kStopped = static_cast<std::size_t>(-1);

// Waits until one of the running children ends; returns its index, or
// kStopped when a request to stop came first.
std::size_t WaitForAnyChild(const std::vector<ChildProcess*>& running);

// Like WaitForAnyChild, but also returns kChanged once `descriptor` (-1:
// none) is readable or `milliseconds` (-1: no limit) have passed; with no
// child running it waits for those alone.
constexpr std::size_t kChanged = static_cast<std::size_t>(-2);
std::size_t WaitForChildOrChange(const std::vector<ChildProcess*>& running, int descriptor, int milliseconds);

// Waits for a running child to end by itself (a request to stop does not
// end the wait).
void FinishChild(ChildProcess& child);

// Ends a running child and waits for it: it is then collected as one that
// was killed.
void EndChild(ChildProcess& child);

// What an ended child printed, and how it ended.
ChildOutcome CollectChild(ChildProcess& child);

// The number of processors (at least 1).
unsigned ProcessorCount();

bool IsTerminal(std::FILE* stream);

}  // namespace host

// Why a tarnview command failed.  A command throws it; main's one error
// path tells it on standard error as "tarnview COMMAND: PROBLEM" and ends
// with its exit status.
#pragma once

#include <stdexcept>
#include <string>

class CommandFailure : public std::runtime_error {
public:
    static constexpr int kFailed = 1;
    static constexpr int kUsage = 2;

    // A problem of the file or operand `subject`: "SUBJECT: PROBLEM".
    CommandFailure(const std::string& subject, const std::string& problem, int exitStatus = kFailed)
        : std::runtime_error(subject + ": " + problem), m_exitStatus(exitStatus) {}
    // A problem of no one file.
    explicit CommandFailure(const std::string& problem, int exitStatus = kFailed)
        : std::runtime_error(problem), m_exitStatus(exitStatus) {}

    int ExitStatus() const noexcept { return m_exitStatus; }

private:
    int m_exitStatus;
};

// The one way a report run fails.  Whatever stops a run throws a
// RunFailure; the entry point catches it in one place, prints what it says
// and returns -1.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "libs/tarn.h"
#include "output/message_of.h"

class RunFailure : public std::exception {
public:
    // A failure told on standard error as "Error: " and `problem`; with a
    // message of the table (and its one text insert) on standard output
    // first, when `messageId` is not 0.  An empty problem adds nothing on
    // standard error.
    explicit RunFailure(std::string problem) : m_problem(std::move(problem)), m_messageId(0) {}
    RunFailure(std::string problem, MessageOf<const char*> message, std::string insert)
        : m_problem(std::move(problem)), m_messageId(message.Id()), m_insert(std::move(insert)) {}

    // A run-data file the solver library refused: told on standard error
    // as the error's line.
    explicit RunFailure(tarn::LoadError refusal) : m_messageId(0), m_refusal(std::move(refusal)) {}

    const char* what() const noexcept override { return m_problem.c_str(); }
    unsigned MessageId() const noexcept { return m_messageId; }
    const char* Insert() const noexcept { return m_insert.c_str(); }
    // Why the data file was refused; its problem is empty for other failures.
    const tarn::LoadError& Refusal() const noexcept { return m_refusal; }

private:
    std::string m_problem;
    unsigned m_messageId;
    std::string m_insert;
    tarn::LoadError m_refusal;
};

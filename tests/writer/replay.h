// A run-data file played back as the calls of a run-data writer, so that a
// writer can be asked to write an existing file again.
#pragma once

#include <string>

#include "tarn/run_writer.hpp"

namespace writer_test {

// An option value as the file has it: a number's text or a text.
struct Option {
    std::string name, text;
    bool number = false;
};

// The calls of a writer; one subclass per interface (C++, C).
class RunCalls {
public:
    virtual ~RunCalls() = default;
    virtual void SetCase(const tarn::rundata::Case& header) = 0;
    virtual void SetModelName(const std::string& name) = 0;
    virtual void AddVariable(const tarn::rundata::Variable& variable) = 0;
    virtual void AddEquation(const tarn::rundata::Equation& equation) = 0;
    virtual void SetEquationForm(int equation, const std::string& form) = 0;
    virtual void AddCoefficient(int equation, int variable, double coefficient) = 0;
    virtual void MarkLinearised(int equation, int variable) = 0;
    virtual void UseModelOptions() = 0;
    // set: 'm' model, 's' solver, 'l' LP.
    virtual void AddOption(char set, const Option& option) = 0;
    virtual void SetTolerances(const tarn::rundata::Tolerances& tolerances) = 0;
    virtual void SetLpStatus(int status) = 0;
    virtual void AddDiagnosisItem(bool equation, int number) = 0;
    virtual void AddIteration(const tarn::rundata::Iteration& iteration) = 0;
    virtual void Close() = 0;
};

// Reads the run-data file at path and makes the calls that write it;
// false (with a test failure) when the file cannot be read.
bool Replay(const std::string& path, RunCalls& calls);

// The report library's result on the run-data file at path (written in a
// directory of its own), a line break and the report it wrote.
std::string ReportOf(const std::string& runDataPath);

}  // namespace writer_test

// The run being filled from a run-data file, and the rules its content
// follows beyond each value's kind: names, references to items, the number
// of triples, the order of iterations, and the format and version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "loaded_run.h"
#include "run_data_rules.h"

namespace tarn {

using rules::QuoteText;

// What the top level says of the format and the version.  A file of another
// format or version is reported as such, whatever else is wrong with it.
class FormatAndVersion {
public:
    // False when the text names another format.
    bool SeeFormat(std::string_view format);
    // False when the version is not the one read; shown is how to write it
    // in the message.
    bool SeeVersion(std::int64_t version, std::string_view shown);
    // A version number's text, which need not be an integer.
    void SeeVersionText(std::string_view text);

    // Both seen, or the format known to be wrong: nothing more to look for.
    bool Settled() const { return !m_formatProblem.empty() || (m_formatSeen && m_versionSeen); }
    // The problem to report instead of any other, at the path "format" or
    // "version"; empty when both are right or not seen.
    const std::string& FormatProblem() const { return m_formatProblem; }
    const std::string& VersionProblem() const { return m_versionProblem; }
    // The version read, once seen and supported.
    std::int64_t Version() const { return m_version; }

private:
    bool m_formatSeen = false, m_versionSeen = false;
    std::int64_t m_version = rules::kVersion;
    std::string m_formatProblem, m_versionProblem;
};

// Texts handed to the builder must stay in place until it is done with (they
// are the parsed file's own bytes); names are indexed by them.
class RunBuilder {
public:
    explicit RunBuilder(LoadedRun& run) : m_run(run) {}

    LoadedRun& Run() { return m_run; }
    FormatAndVersion& TopLevel() { return m_topLevel; }
    veldxmps::VariableRecord& Variable() { return m_run.model.variables.back(); }
    veldxmps::EquationRecord& Equation() { return m_run.model.equations.back(); }
    veldxmps::MatrixRecord& MatrixEntry() { return m_run.model.matrix.back(); }
    veldxmps::LinearisedRecord& LinearisedPair() { return m_run.model.linearised.back(); }
    CTARNIterationData& Iteration() { return *m_run.iterations.back(); }
    CTARNIterationSolution& Solution() { return *m_run.solutions.back(); }

    // A problem, at the path of the value or container at hand, or at the
    // path given.  The first one stays.
    void Fail(std::string problem) { FailAt(std::string(), std::move(problem)); }
    void FailAt(std::string path, std::string problem);
    bool HasProblem() const { return !m_problem.empty(); }
    const std::string& ProblemPath() const { return m_problemPath; }
    const std::string& Problem() const { return m_problem; }

    // Containers beginning and ending.
    void AddVariable();
    void AddEquation();
    void AddIteration();
    void AddLinearisedPair() { m_run.model.linearised.push_back({0, 0}); }
    void OpenTriples(bool variables);
    void CloseModel();
    void CloseLp();
    void CloseIteration();
    void CloseTriples(bool variables);

    // Values with rules.
    void SetFormat(std::string_view format);
    void SetVersion(std::int64_t version);
    void SetModelName(std::string_view name);
    void SetVariableName(std::string_view name);
    void SetEquationName(std::string_view name);
    void SetEquationForm(std::string_view form);
    void SetVariableValue(double value);
    void SetDate(std::string_view date);
    void SetIterationNumber(std::int64_t number);
    void SetUserObjective(double value);
    void SetMostInfeasible(std::string_view name);
    void AddDiagnosisItem(std::int64_t number, bool equation);
    void AddTripleNumber(double number) { m_triples->push_back(number); }
    void AddModelOption(std::string_view name, std::string_view value);
    void AddSolverOption(std::string_view name, std::string_view value);
    void AddLpOption(std::string_view name, std::string_view value);

    // The checks that wait for the whole file, and the defaults that depend
    // on other members; false with a problem.
    bool Finish();

private:
    using NameIndex = std::unordered_map<std::string_view, size_t>;
    using OptionNames = std::unordered_set<std::string_view>;

    void SetItemName(std::string_view name, const char* emptyProblem, const char* list,
                     NameIndex& index, size_t position, std::string& stored);
    std::string MatrixProblemText(const veldxmps::MatrixProblem& found,
                                  const veldxmps::MatrixRecord& entry) const;
    void AddOption(std::vector<std::pair<std::string, std::string>>& options, OptionNames& names,
                   std::string_view name, std::string_view value);
    void CheckLinearised();
    bool CheckDiagnosis();
    bool CheckDiagnosisList(const std::vector<int>& numbers, bool equations);
    bool CheckTripleCount(size_t iteration, bool variables);
    size_t ItemCount(bool equations) const;

    LoadedRun& m_run;
    FormatAndVersion m_topLevel;
    std::string m_problemPath, m_problem;
    bool m_modelDone = false;   // the model's items are all known
    bool m_lpChecked = true;    // the diagnosis lists have been checked
    bool m_userObjectiveGiven = false;
    std::optional<size_t> m_firstForm;  // the first equation with a form
    std::vector<char> m_valueGiven;  // per variable: "value" present
    std::vector<double>* m_triples = nullptr;  // the triples being read
    NameIndex m_variableNames, m_equationNames;
    OptionNames m_modelOptionNames, m_solverOptionNames, m_lpOptionNames;
};

}  // namespace tarn

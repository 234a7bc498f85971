// The run being filled from a run-data file, and the rules of its content.
#include "run_data_builder.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <system_error>
#include <utility>

namespace tarn {

static_assert(rules::kMostInfeasibleMaxBytes == IterationData::kFeasRowNameSize - 1,
              "the most infeasible row's name fits the iteration's buffer");

bool FormatAndVersion::SeeFormat(std::string_view format) {
    m_formatSeen = true;
    if (format == rules::kFormatName) return true;
    m_formatProblem = rules::FormatProblem(format);
    return false;
}

bool FormatAndVersion::SeeVersion(std::int64_t version, std::string_view shown) {
    m_versionSeen = true;
    if (version >= rules::kOldestVersion && version <= rules::kVersion) {
        m_version = version;
        return true;
    }
    m_versionProblem = rules::VersionProblem(shown);
    return false;
}

void FormatAndVersion::SeeVersionText(std::string_view text) {
    std::int64_t version = 0;
    auto read = std::from_chars(text.data(), text.data() + text.size(), version);
    if (read.ec == std::errc() && read.ptr == text.data() + text.size()) SeeVersion(version, text);
    m_versionSeen = true;
}

void RunBuilder::FailAt(std::string path, std::string problem) {
    if (HasProblem()) return;
    m_problemPath = std::move(path);
    m_problem = std::move(problem);
}

void RunBuilder::AddVariable() {
    m_run.model.variables.emplace_back();
    m_valueGiven.push_back(0);
}

void RunBuilder::AddEquation() { m_run.model.equations.emplace_back(); }

void RunBuilder::AddIteration() {
    m_run.solutions.push_back(std::make_unique<CTARNIterationSolution>());
    m_run.iterations.push_back(std::make_unique<CTARNIterationData>());
    Iteration().m_solution = m_run.solutions.back().get();
    Iteration().SetIter(static_cast<int>(m_run.iterations.size() - 1));
    m_userObjectiveGiven = false;
}

void RunBuilder::OpenTriples(bool variables) {
    m_triples = variables ? &Solution().m_variableTriples : &Solution().m_equationTriples;
    if (m_modelDone) m_triples->reserve(3 * ItemCount(!variables));
}

void RunBuilder::CloseModel() {
    const auto& matrix = m_run.model.matrix;
    const veldxmps::MatrixProblem found =
        veldxmps::FindMatrixProblem(matrix, ItemCount(false), ItemCount(true));
    if (found.kind != veldxmps::MatrixProblem::Kind::None)
        return FailAt("model.matrix[" + std::to_string(found.entry) + "]",
                      MatrixProblemText(found, matrix[found.entry]));
    CheckLinearised();
    m_modelDone = !HasProblem();
}

std::string RunBuilder::MatrixProblemText(const veldxmps::MatrixProblem& found,
                                          const veldxmps::MatrixRecord& entry) const {
    using Problem = veldxmps::MatrixProblem::Kind;
    if (found.kind == Problem::NoSuchEquation)
        return rules::NoSuchItem(true, entry.equation, ItemCount(true), true);
    if (found.kind == Problem::NoSuchVariable)
        return rules::NoSuchItem(false, entry.variable, ItemCount(false), true);
    return rules::CoefficientTwice(entry.equation, entry.variable, found.earlier);
}

// Each pair of model.linearised has a coefficient in the matrix, and is
// given once.
void RunBuilder::CheckLinearised() {
    const auto& pairs = m_run.model.linearised;
    if (pairs.empty()) return;
    const auto& matrix = m_run.model.matrix;
    using Pair = std::pair<int, int>;
    std::vector<Pair> coefficients(matrix.size());
    for (size_t k = 0; k < matrix.size(); ++k) coefficients[k] = {matrix[k].equation, matrix[k].variable};
    std::sort(coefficients.begin(), coefficients.end());
    std::vector<std::pair<Pair, size_t>> marked(pairs.size());
    for (size_t m = 0; m < pairs.size(); ++m) marked[m] = {{pairs[m].equation, pairs[m].variable}, m};
    std::sort(marked.begin(), marked.end());
    std::optional<std::pair<size_t, std::string>> first;  // the first pair at fault, by position
    const auto fault = [&first](size_t m, std::string problem) {
        if (!first || m < first->first) first.emplace(m, std::move(problem));
    };
    for (size_t k = 0; k < marked.size(); ++k) {
        const auto [pair, m] = marked[k];
        if (pair.first < 1 || static_cast<size_t>(pair.first) > ItemCount(true))
            fault(m, rules::NoSuchItem(true, pair.first, ItemCount(true), true));
        else if (pair.second < 1 || static_cast<size_t>(pair.second) > ItemCount(false))
            fault(m, rules::NoSuchItem(false, pair.second, ItemCount(false), true));
        else if (!std::binary_search(coefficients.begin(), coefficients.end(), pair))
            fault(m, rules::NoCoefficientToMark(pair.first, pair.second));
        else if (k > 0 && marked[k - 1].first == pair)
            fault(m, rules::MarkedTwice(pair.first, pair.second, marked[k - 1].second));
    }
    if (first) FailAt("model.linearised[" + std::to_string(first->first) + "]", std::move(first->second));
}

void RunBuilder::CloseLp() {
    if (m_modelDone) CheckDiagnosis();
    else m_lpChecked = false;
}

void RunBuilder::CloseIteration() {
    if (!m_userObjectiveGiven) Iteration().SetUserObj(Iteration().GetObjValue());
}

void RunBuilder::CloseTriples(bool variables) {
    if (m_modelDone) CheckTripleCount(m_run.iterations.size() - 1, variables);
}

void RunBuilder::SetFormat(std::string_view format) {
    if (!m_topLevel.SeeFormat(format)) Fail(m_topLevel.FormatProblem());
}

void RunBuilder::SetVersion(std::int64_t version) {
    if (!m_topLevel.SeeVersion(version, std::to_string(version))) Fail(m_topLevel.VersionProblem());
}

void RunBuilder::SetModelName(std::string_view name) {
    if (std::string problem = rules::NameProblem(name); !problem.empty()) return Fail(std::move(problem));
    m_run.model.name.assign(name);
}

void RunBuilder::SetVariableName(std::string_view name) {
    SetItemName(name, rules::kEmptyVariableName, "model.variables", m_variableNames,
                m_run.model.variables.size() - 1, Variable().name);
}

void RunBuilder::SetEquationName(std::string_view name) {
    SetItemName(name, rules::kEmptyEquationName, "model.equations", m_equationNames,
                m_run.model.equations.size() - 1, Equation().name);
}

void RunBuilder::SetItemName(std::string_view name, const char* emptyProblem, const char* list,
                             NameIndex& index, size_t position, std::string& stored) {
    if (name.empty()) return Fail(emptyProblem);
    if (std::string problem = rules::NameProblem(name); !problem.empty()) return Fail(std::move(problem));
    stored.assign(name);
    const auto [earlier, added] = index.emplace(name, position);
    if (!added)
        Fail(rules::NameTaken(name, list, earlier->second));
}

void RunBuilder::SetVariableValue(double value) {
    Variable().value = value;
    m_valueGiven.back() = 1;
}

void RunBuilder::SetEquationForm(std::string_view form) {
    if (std::string problem = rules::FormProblem(form); !problem.empty())
        return Fail(std::move(problem));
    if (!m_firstForm) m_firstForm = m_run.model.equations.size() - 1;
    Equation().form.assign(form);
}

void RunBuilder::SetDate(std::string_view date) {
    if (std::string problem = rules::DateProblem(date); !problem.empty())
        return Fail(std::move(problem));
    m_run.date.assign(date);
}

void RunBuilder::SetIterationNumber(std::int64_t number) {
    const size_t position = m_run.iterations.size() - 1;
    if (number != static_cast<std::int64_t>(position))
        return Fail(rules::IterationOutOfOrder(number, position));
    Iteration().SetIter(static_cast<int>(number));
}

void RunBuilder::SetUserObjective(double value) {
    Iteration().SetUserObj(value);
    m_userObjectiveGiven = true;
}

void RunBuilder::SetMostInfeasible(std::string_view name) {
    if (std::string problem = rules::MostInfeasibleProblem(name); !problem.empty())
        return Fail(std::move(problem));
    Iteration().SetFeasRowName(std::string(name).c_str());
}

void RunBuilder::AddDiagnosisItem(std::int64_t number, bool equation) {
    (equation ? m_run.diagEquations : m_run.diagVariables).push_back(static_cast<int>(number));
    if (number < 1 || (m_modelDone && static_cast<size_t>(number) > ItemCount(equation)))
        Fail(rules::NoSuchItem(equation, number, ItemCount(equation), m_modelDone));
}

void RunBuilder::AddModelOption(std::string_view name, std::string_view value) {
    AddOption(m_run.model.options, m_modelOptionNames, name, value);
}

void RunBuilder::AddSolverOption(std::string_view name, std::string_view value) {
    AddOption(m_run.solverOptions, m_solverOptionNames, name, value);
}

void RunBuilder::AddLpOption(std::string_view name, std::string_view value) {
    AddOption(m_run.lpOptions, m_lpOptionNames, name, value);
}

void RunBuilder::AddOption(std::vector<std::pair<std::string, std::string>>& options,
                           OptionNames& names, std::string_view name, std::string_view value) {
    if (!names.insert(name).second) return Fail(rules::kKeyTwice);
    options.emplace_back(name, value);
}

bool RunBuilder::CheckDiagnosis() {
    m_lpChecked = true;
    return CheckDiagnosisList(m_run.diagEquations, true) &&
           CheckDiagnosisList(m_run.diagVariables, false);
}

bool RunBuilder::CheckDiagnosisList(const std::vector<int>& numbers, bool equations) {
    const size_t count = ItemCount(equations);
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (numbers[i] >= 1 && static_cast<size_t>(numbers[i]) <= count) continue;
        FailAt(std::string("lp.diagnosis.") + (equations ? "equations[" : "variables[") +
                   std::to_string(i) + "]",
               rules::NoSuchItem(equations, numbers[i], count, true));
        return false;
    }
    return true;
}

bool RunBuilder::CheckTripleCount(size_t iteration, bool variables) {
    const CTARNIterationSolution& solution = *m_run.solutions[iteration];
    const size_t given =
        (variables ? solution.m_variableTriples : solution.m_equationTriples).size() / 3;
    const size_t expected = ItemCount(!variables);
    if (given == expected) return true;
    FailAt("iterations[" + std::to_string(iteration) + "]." + (variables ? "variables" : "equations"),
           rules::TripleCount(given, expected, variables));
    return false;
}

size_t RunBuilder::ItemCount(bool equations) const {
    return equations ? m_run.model.equations.size() : m_run.model.variables.size();
}

bool RunBuilder::Finish() {
    if (m_firstForm && m_topLevel.Version() < rules::kFormVersion) {
        FailAt("model.equations[" + std::to_string(*m_firstForm) + "].form",
               rules::FormNeedsVersion(m_topLevel.Version()));
        return false;
    }
    if (!m_run.model.linearised.empty() && m_topLevel.Version() < rules::kFormVersion) {
        FailAt("model.linearised", rules::LinearisedNeedsVersion(m_topLevel.Version()));
        return false;
    }
    if (!m_lpChecked && !CheckDiagnosis()) return false;
    for (size_t p = 0; p < m_run.iterations.size(); ++p) {
        if (!CheckTripleCount(p, true) || !CheckTripleCount(p, false)) return false;
    }
    // A variable without "value" takes its value in the last iteration.
    auto& variables = m_run.model.variables;
    const CTARNIterationSolution* last =
        m_run.solutions.empty() ? nullptr : m_run.solutions.back().get();
    for (size_t i = 0; i < variables.size(); ++i) {
        if (!m_valueGiven[i]) variables[i].value = last ? last->m_variableTriples[3 * i] : 0.0;
    }
    return true;
}

}  // namespace tarn

// The run being filled from a run-data file, and the rules of its content.
#include "run_data_builder.h"

#include <charconv>
#include <string>
#include <system_error>
#include <utility>

namespace tarn {
namespace {

constexpr std::string_view kFormatName = "tarn-vdr";
constexpr std::int64_t kSupportedVersion = 1;
constexpr size_t kDateMaxBytes = 30;
constexpr size_t kMostInfeasibleMaxBytes = IterationData::kFeasRowNameSize - 1;

void AppendQuoted(std::string& out, unsigned char c) {
    static const char hex[] = "0123456789abcdef";
    switch (c) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        case '\t': out += "\\t"; return;
        default: break;
    }
    if (c < 0x20 || c == 0x7f) {
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 15];
    } else {
        out += static_cast<char>(c);
    }
}

// Names (of the model, its variables and equations) are identifiers: a
// control character would break the report's lines, and a leading '#' or
// '?' would read as the report's markup where a name starts a line.
std::string NameProblem(std::string_view name) {
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "a name may not contain a control character (U+0000 to U+001F, U+007F), found " +
                   QuoteText(name);
    }
    if (!name.empty() && (name[0] == '#' || name[0] == '?'))
        return "a name may not begin with '#' or '?', found " + QuoteText(name);
    return std::string();
}

std::string NoSuchItem(bool equation, std::int64_t number, size_t count, bool countKnown) {
    const char* kind = equation ? "equation" : "variable";
    std::string problem = std::string(kind) + " " + std::to_string(number) + " does not exist";
    if (countKnown)
        problem += " (the model has " + std::to_string(count) + " " + kind + "s)";
    return problem;
}

std::string TooLong(const char* what, size_t bytes, size_t maxBytes) {
    return std::string(what) + " is " + std::to_string(bytes) + " bytes long, at most " +
           std::to_string(maxBytes) + " are allowed";
}

}  // namespace

std::string QuoteText(std::string_view text) {
    constexpr size_t kMaxShown = 60;
    size_t shown = text.size();
    // Cut never inside a UTF-8 sequence.
    if (shown > kMaxShown) {
        shown = kMaxShown;
        while (shown > 0 && (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80) --shown;
    }
    std::string out = "\"";
    for (size_t i = 0; i < shown; ++i) AppendQuoted(out, static_cast<unsigned char>(text[i]));
    out += shown < text.size() ? "\"..." : "\"";
    return out;
}

bool FormatAndVersion::SeeFormat(std::string_view format) {
    m_formatSeen = true;
    if (format == kFormatName) return true;
    m_formatProblem = QuoteText(format) + " is not a run-data file format (\"" +
                      std::string(kFormatName) + "\" expected)";
    return false;
}

bool FormatAndVersion::SeeVersion(std::int64_t version, std::string_view shown) {
    m_versionSeen = true;
    if (version == kSupportedVersion) return true;
    m_versionProblem = "version " + std::string(shown) +
                       " is not supported; this library reads version " +
                       std::to_string(kSupportedVersion);
    return false;
}

void FormatAndVersion::SeeVersionText(std::string_view text) {
    std::int64_t version = 0;
    auto read = std::from_chars(text.data(), text.data() + text.size(), version);
    if (read.ec == std::errc() && read.ptr == text.data() + text.size()) SeeVersion(version, text);
    m_versionSeen = true;
}

std::string FormatAndVersion::Problem() const {
    if (!m_formatProblem.empty()) return "format: " + m_formatProblem;
    if (!m_versionProblem.empty()) return "version: " + m_versionProblem;
    return std::string();
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
    if (found.kind == veldxmps::MatrixProblem::Kind::None) {
        m_modelDone = true;
        return;
    }
    FailAt("model.matrix[" + std::to_string(found.entry) + "]",
           MatrixProblemText(found, matrix[found.entry]));
}

std::string RunBuilder::MatrixProblemText(const veldxmps::MatrixProblem& found,
                                          const veldxmps::MatrixRecord& entry) const {
    using Problem = veldxmps::MatrixProblem::Kind;
    if (found.kind == Problem::NoSuchEquation)
        return NoSuchItem(true, entry.equation, ItemCount(true), true);
    if (found.kind == Problem::NoSuchVariable)
        return NoSuchItem(false, entry.variable, ItemCount(false), true);
    return "equation " + std::to_string(entry.equation) + " and variable " +
           std::to_string(entry.variable) + " already have a coefficient in model.matrix[" +
           std::to_string(found.earlier) + "]";
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
    if (std::string problem = NameProblem(name); !problem.empty()) return Fail(std::move(problem));
    m_run.model.name.assign(name);
}

void RunBuilder::SetVariableName(std::string_view name) {
    SetItemName(name, "a variable name may not be empty", "model.variables", m_variableNames,
                m_run.model.variables.size() - 1, Variable().name);
}

void RunBuilder::SetEquationName(std::string_view name) {
    SetItemName(name, "an equation name may not be empty", "model.equations", m_equationNames,
                m_run.model.equations.size() - 1, Equation().name);
}

void RunBuilder::SetItemName(std::string_view name, const char* emptyProblem, const char* list,
                             NameIndex& index, size_t position, std::string& stored) {
    if (name.empty()) return Fail(emptyProblem);
    if (std::string problem = NameProblem(name); !problem.empty()) return Fail(std::move(problem));
    stored.assign(name);
    const auto [earlier, added] = index.emplace(name, position);
    if (!added)
        Fail("the name " + QuoteText(name) + " is already the name of " + list + "[" +
             std::to_string(earlier->second) + "]");
}

void RunBuilder::SetVariableValue(double value) {
    Variable().value = value;
    m_valueGiven.back() = 1;
}

void RunBuilder::SetDate(std::string_view date) {
    if (date.size() > kDateMaxBytes) return Fail(TooLong("the date", date.size(), kDateMaxBytes));
    if (date.find_first_of("\r\n") != std::string_view::npos)
        return Fail("the date may not contain a line break");
    m_run.date.assign(date);
}

void RunBuilder::SetIterationNumber(std::int64_t number) {
    const size_t position = m_run.iterations.size() - 1;
    if (number != static_cast<std::int64_t>(position))
        return Fail("iteration " + std::to_string(number) + " found where iteration " +
                    std::to_string(position) +
                    " was expected (iterations are listed in order from 0)");
    Iteration().SetIter(static_cast<int>(number));
}

void RunBuilder::SetUserObjective(double value) {
    Iteration().SetUserObj(value);
    m_userObjectiveGiven = true;
}

void RunBuilder::SetMostInfeasible(std::string_view name) {
    if (name.size() > kMostInfeasibleMaxBytes)
        return Fail(TooLong("the name", name.size(), kMostInfeasibleMaxBytes));
    Iteration().SetFeasRowName(std::string(name).c_str());
}

void RunBuilder::AddDiagnosisItem(std::int64_t number, bool equation) {
    (equation ? m_run.diagEquations : m_run.diagVariables).push_back(static_cast<int>(number));
    if (number < 1 || (m_modelDone && static_cast<size_t>(number) > ItemCount(equation)))
        Fail(NoSuchItem(equation, number, ItemCount(equation), m_modelDone));
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
    if (!names.insert(name).second) return Fail("the key is given twice");
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
               NoSuchItem(equations, numbers[i], count, true));
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
           std::to_string(given) + " triples, " + std::to_string(expected) + " expected (one per " +
               (variables ? "variable" : "equation") + ")");
    return false;
}

size_t RunBuilder::ItemCount(bool equations) const {
    return equations ? m_run.model.equations.size() : m_run.model.variables.size();
}

bool RunBuilder::Finish() {
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

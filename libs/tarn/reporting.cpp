// The reporting object and the option, iteration-list and solution objects
// it hands out.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>

#include "libs/tarn.h"
#include "libs/veldxmps_model.h"
#include "reporting_data.h"
#include "run_data_loader.h"

using veldxmps::FaultPoint;

CTARNIterationSolution::CTARNIterationSolution() = default;
CTARNIterationSolution::~CTARNIterationSolution() = default;
const double* CTARNIterationSolution::GetVariableValues() const { return m_variableTriples.data(); }
const double* CTARNIterationSolution::GetEquationValues() const { return m_equationTriples.data(); }
int CTARNIterationSolution::GetVariableCount() const {
    return static_cast<int>(m_variableTriples.size() / kTripleLength);
}
int CTARNIterationSolution::GetEquationCount() const {
    return static_cast<int>(m_equationTriples.size() / kTripleLength);
}

namespace {

// Written piece by piece, so that a long value is never copied.
void DisplayOption(std::ostream& out, const std::string& name, const std::string& value) {
    out << "  ";
    veldxmps::WriteOneLine(out, name);
    out << " = ";
    veldxmps::WriteOneLine(out, value);
    out << "\n";
}

}  // namespace

CTARNOptionTable::CTARNOptionTable()
    : m_feasTolerance(1e-6), m_deltaTolerance1(1e-3), m_deltaTolerance2(1e-4) {}
CTARNOptionTable::~CTARNOptionTable() = default;

void CTARNOptionTable::DisplayOptionTable(std::ostream& out) const {
    FaultPoint("DisplayOptionTable");
    DisplayOption(out, "feasibility_tolerance", veldxmps::FormatNumber(m_feasTolerance));
    DisplayOption(out, "delta_tolerance_1", veldxmps::FormatNumber(m_deltaTolerance1));
    DisplayOption(out, "delta_tolerance_2", veldxmps::FormatNumber(m_deltaTolerance2));
    for (const auto& [name, value] : m_options) DisplayOption(out, name, value);
}

CTARNLPOptions::CTARNLPOptions() = default;
CTARNLPOptions::~CTARNLPOptions() = default;

void CTARNLPOptions::DisplayOptions(std::ostream& out) const {
    FaultPoint("DisplayOptions");
    for (const auto& [name, value] : m_options) DisplayOption(out, name, value);
}

CTARNIterationList::CTARNIterationList() = default;
CTARNIterationList::~CTARNIterationList() = default;

CTARNReportingData::CTARNReportingData() : model(veldxmps::CreateModelManager()) {}

CTARNSolutionReporting::CTARNSolutionReporting() : m_data(std::make_unique<CTARNReportingData>()) {}
CTARNSolutionReporting::~CTARNSolutionReporting() = default;

IVELDMgr* CTARNSolutionReporting::GetModelManager() {
    FaultPoint("GetModelManager");
    return m_data->model.get();
}

void CTARNSolutionReporting::GetExecutionDate(char* buffer32) {
    FaultPoint("GetExecutionDate");
    if (buffer32 == nullptr) return;
    // The loader keeps the date to at most 30 bytes, so date, "\n" and the
    // terminator fit; the cut is only a guard.
    const size_t n = m_data->date.size() < 30 ? m_data->date.size() : 30;
    std::memcpy(buffer32, m_data->date.data(), n);
    buffer32[n] = '\n';
    buffer32[n + 1] = '\0';
}

const char* CTARNSolutionReporting::GetSolutionStatus() {
    FaultPoint("GetSolutionStatus");
    return m_data->status.c_str();
}

const char* CTARNSolutionReporting::GetCaseDescription() {
    FaultPoint("GetCaseDescription");
    return m_data->description.c_str();
}

int CTARNSolutionReporting::GetCaseNumber() {
    FaultPoint("GetCaseNumber");
    return m_data->caseNumber;
}

int CTARNSolutionReporting::GetLPStatus() {
    FaultPoint("GetLPStatus");
    return m_data->lpStatus;
}

int CTARNSolutionReporting::GetLPDiagVarCount() {
    FaultPoint("GetLPDiagVarCount");
    return static_cast<int>(m_data->diagVariables.size());
}

int CTARNSolutionReporting::GetLPDiagEqnCount() {
    FaultPoint("GetLPDiagEqnCount");
    return static_cast<int>(m_data->diagEquations.size());
}

int CTARNSolutionReporting::GetLPDiagVarList(int** list) {
    FaultPoint("GetLPDiagVarList");
    if (list != nullptr) *list = m_data->diagVariables.data();
    return static_cast<int>(m_data->diagVariables.size());
}

int CTARNSolutionReporting::GetLPDiagEqnList(int** list) {
    FaultPoint("GetLPDiagEqnList");
    if (list != nullptr) *list = m_data->diagEquations.data();
    return static_cast<int>(m_data->diagEquations.size());
}

namespace {

void PrintLoadError(const std::string& line) {
    std::fputs(line.c_str(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// Writes "FILE: PROBLEM" without building a text first, so that it works
// when memory has run out.
void PrintLoadFailure(const char* path, const char* problem) noexcept {
    if (path == nullptr) path = "(no file name)";
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\n') std::fputs("\\n", stderr);
        else if (*p == '\r') std::fputs("\\r", stderr);
        else std::fputc(*p, stderr);
    }
    std::fputs(": ", stderr);
    for (const char* p = problem; *p != '\0'; ++p)
        std::fputc(*p == '\n' || *p == '\r' ? ' ' : *p, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace

// Never throws, except through the stand-in's test hook (FaultPoint).
int CTARNSolutionReporting::ReadReportFile(const char* path) {
    FaultPoint("ReadReportFile");
    try {
        auto run = std::make_unique<tarn::LoadedRun>();
        const std::string error = tarn::LoadRunData(path, *run);
        if (!error.empty()) {
            PrintLoadError(error);
            return 1;
        }
        // Everything that can fail comes first: the model swaps itself in
        // only when it is complete, and the rest below cannot fail.
        veldxmps::ReplaceModel(*m_data->model, std::move(run->model));

        CTARNReportingData& d = *m_data;
        d.caseNumber = run->caseNumber;
        d.description.swap(run->description);
        d.date.swap(run->date);
        d.status.swap(run->status);
        d.lpStatus = run->lpStatus;
        d.diagVariables.swap(run->diagVariables);
        d.diagEquations.swap(run->diagEquations);
        d.optionTable.m_feasTolerance = run->feasTolerance;
        d.optionTable.m_deltaTolerance1 = run->deltaTolerance1;
        d.optionTable.m_deltaTolerance2 = run->deltaTolerance2;
        d.optionTable.m_options.swap(run->solverOptions);
        d.lpOptions.m_options.swap(run->lpOptions);
        d.iterations.m_entries.swap(run->iterations);
        d.iterations.m_solutions.swap(run->solutions);
        d.iterations.GetFirst();
        return 0;
    } catch (const std::bad_alloc&) {
        PrintLoadFailure(path, "not enough memory to load the file");
    } catch (const std::exception& e) {
        PrintLoadFailure(path, e.what());
    } catch (...) {
        PrintLoadFailure(path, "the file could not be loaded");
    }
    return 1;
}

CTARNOptionTable* CTARNSolutionReporting::GetOptionTable() {
    FaultPoint("GetOptionTable");
    return &m_data->optionTable;
}

CTARNLPOptions* CTARNSolutionReporting::GetLPOptions() {
    FaultPoint("GetLPOptions");
    return &m_data->lpOptions;
}

CTARNIterationList* CTARNSolutionReporting::GetIterationList() {
    FaultPoint("GetIterationList");
    return &m_data->iterations;
}

// The reporting object and the option, iteration-list and solution objects
// it hands out.
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

// Why a load failed, kept without throwing: when memory has run out even
// for the reason, the error's problem stays empty.  An exception's text is
// kept on one line, its control characters shown.
void KeepLoadError(tarn::LoadError& kept, tarn::LoadError error) noexcept { kept = std::move(error); }

void KeepLoadError(tarn::LoadError& kept, const char* path, const char* problem) noexcept {
    kept = tarn::LoadError();
    try {
        kept.file = path != nullptr ? veldxmps::OneLine(path) : std::string("(no file name)");
        kept.problem = veldxmps::OneLine(problem);
    } catch (...) {
        kept = tarn::LoadError();
    }
}

}  // namespace

// Never throws, except through the stand-in's test hook (FaultPoint).
int CTARNSolutionReporting::ReadReportFile(const char* path) {
    FaultPoint("ReadReportFile");
    tarn::LoadError& kept = m_data->loadError;
    kept = tarn::LoadError();
    try {
        auto run = std::make_unique<tarn::LoadedRun>();
        tarn::LoadError error = tarn::LoadRunData(path, *run);
        if (error.Failed()) {
            KeepLoadError(kept, std::move(error));
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
        KeepLoadError(kept, path, "not enough memory to load the file");
    } catch (const std::exception& e) {
        KeepLoadError(kept, path, e.what());
    } catch (...) {
        KeepLoadError(kept, path, "the file could not be loaded");
    }
    return 1;
}

const tarn::LoadError& CTARNSolutionReporting::LoadProblem() const { return m_data->loadError; }

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

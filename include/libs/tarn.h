// The solver library: the reporting object and everything reached from it.
//
// The report creates one CTARNSolutionReporting per run, has it load the
// run-data file and borrows the objects it hands out.  The option table's
// tolerances and the iteration list's walk are inline accessors, read
// without calls into the library.
#pragma once

#include <cstddef>
#include <cstring>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "libs/export.h"
#include "libs/iteration_data.h"
#include "libs/veldxmps.h"

// The value triples of one iteration, at position item number - 1, each
// laid out as VariableTriple or EquationTriple below.
class TARN_API CTARNIterationSolution {
public:
    CTARNIterationSolution();
    virtual ~CTARNIterationSolution();
    virtual const double* GetVariableValues() const;
    virtual const double* GetEquationValues() const;
    virtual int GetVariableCount() const;
    virtual int GetEquationCount() const;

    std::vector<double> m_variableTriples;
    std::vector<double> m_equationTriples;
};

// One variable's values at one iteration, in the order of its triple.
struct VariableTriple {
    double value;
    double step;         // the half-width of the step box
    double shadowPrice;  // the reduced cost
};

// One equation's values at one iteration, in the order of its triple.
struct EquationTriple {
    double residual;
    double shadowPrice;
    double slack;  // the infeasibility slack
};

// The doubles of one triple in the arrays of CTARNIterationSolution.
inline constexpr int kTripleLength = 3;

// The triple array of one iteration, read by item number (from 1).  A
// triple is copied out of the array whole, so the named fields describe the
// array's layout without changing it.
template <typename Triple>
class TripleArray {
    static_assert(std::is_trivially_copyable_v<Triple> && std::is_standard_layout_v<Triple> &&
                  sizeof(Triple) == kTripleLength * sizeof(double));

public:
    TripleArray() = default;
    TripleArray(const double* values, int count)
        : m_values(values), m_count(values != nullptr && count > 0 ? count : 0) {}

    int Count() const { return m_count; }

    // The triple of item `number`, or nothing outside the array.
    std::optional<Triple> Of(int number) const {
        if (number < 1 || number > m_count) return std::nullopt;
        Triple triple;
        std::memcpy(&triple, m_values + kTripleLength * static_cast<std::ptrdiff_t>(number - 1),
                    sizeof triple);
        return triple;
    }

private:
    const double* m_values = nullptr;
    int m_count = 0;
};

// The triple arrays of an iteration solution; empty for a null solution.
inline TripleArray<VariableTriple> VariableTriplesOf(const CTARNIterationSolution* solution) {
    if (solution == nullptr) return {};
    return {solution->GetVariableValues(), solution->GetVariableCount()};
}
inline TripleArray<EquationTriple> EquationTriplesOf(const CTARNIterationSolution* solution) {
    if (solution == nullptr) return {};
    return {solution->GetEquationValues(), solution->GetEquationCount()};
}

class TARN_API CTARNOptionTable {
public:
    CTARNOptionTable();
    virtual ~CTARNOptionTable();
    // One line "  NAME = VALUE" per option: the three tolerances, then the
    // options of the run-data file in file order.
    virtual void DisplayOptionTable(std::ostream& out) const;

    double GetFeasTolerance() const { return m_feasTolerance; }
    double GetDeltaTolerance1() const { return m_deltaTolerance1; }
    double GetDeltaTolerance2() const { return m_deltaTolerance2; }

    double m_feasTolerance;
    double m_deltaTolerance1;
    double m_deltaTolerance2;
    // Further options as (name, value text) in file order.
    std::vector<std::pair<std::string, std::string>> m_options;
};

class TARN_API CTARNLPOptions {
public:
    CTARNLPOptions();
    virtual ~CTARNLPOptions();
    // One line "  NAME = VALUE" per option, in file order.
    virtual void DisplayOptions(std::ostream& out) const;

    std::vector<std::pair<std::string, std::string>> m_options;
};

// The run's iterations in order.  GetAt(n) counts from 1; the cursor is
// shared by GetFirst, GetNext and GetAt, so one walk runs at a time.
class TARN_API CTARNIterationList {
public:
    CTARNIterationList();
    virtual ~CTARNIterationList();

    int GetCount() const { return static_cast<int>(m_entries.size()); }
    CTARNIterationData* GetFirst() {
        m_cursor = 0;
        return EntryAtCursor();
    }
    CTARNIterationData* GetNext() {
        if (m_cursor < m_entries.size()) ++m_cursor;
        return EntryAtCursor();
    }
    CTARNIterationData* GetAt(int number) {
        if (number < 1 || static_cast<size_t>(number) > m_entries.size()) return nullptr;
        m_cursor = static_cast<size_t>(number) - 1;
        return EntryAtCursor();
    }

    std::vector<std::unique_ptr<CTARNIterationData>> m_entries;
    std::vector<std::unique_ptr<CTARNIterationSolution>> m_solutions;

private:
    CTARNIterationData* EntryAtCursor() const {
        return m_cursor < m_entries.size() ? m_entries[m_cursor].get() : nullptr;
    }
    size_t m_cursor = 0;
};

class CTARNReportingData;  // the loaded run, private to the solver library

namespace tarn {

// Why a run-data file was not loaded.  Told as one line,
// "FILE: PLACE: PROBLEM", or "FILE: PROBLEM" when the problem is the
// file's as a whole.
struct LoadError {
    std::string file;     // the file's name, on one line
    std::string place;    // "line 3, column 7", or the value's path: "iterations[2].status"
    std::string problem;  // what is wrong there; empty when the file loaded
    int openError = 0;    // the system's error number when the file could not be opened

    bool Failed() const { return !problem.empty(); }
    std::string Line() const {
        return file + ": " + (place.empty() ? problem : place + ": " + problem);
    }
};

}  // namespace tarn

class TARN_API CTARNSolutionReporting {
public:
    CTARNSolutionReporting();
    virtual ~CTARNSolutionReporting();
    CTARNSolutionReporting(const CTARNSolutionReporting&) = delete;
    CTARNSolutionReporting& operator=(const CTARNSolutionReporting&) = delete;

    virtual IVELDMgr* GetModelManager();
    // The date text and "\n", with its terminator, into a 32-byte buffer.
    virtual void GetExecutionDate(char* buffer32);
    virtual const char* GetSolutionStatus();
    virtual const char* GetCaseDescription();
    virtual int GetCaseNumber();
    // An LPStatus code; other values are another outcome.
    virtual int GetLPStatus();
    virtual int GetLPDiagVarCount();
    virtual int GetLPDiagEqnCount();
    // Item numbers from 1, owned by the library.
    virtual int GetLPDiagVarList(int** list);
    virtual int GetLPDiagEqnList(int** list);
    // 0 when the whole file loaded; otherwise nothing is loaded, the
    // result is not 0 and LoadProblem() says why.  Prints nothing; never
    // throws.
    virtual int ReadReportFile(const char* path);
    virtual CTARNOptionTable* GetOptionTable();
    virtual CTARNLPOptions* GetLPOptions();
    virtual CTARNIterationList* GetIterationList();

    // Why the last ReadReportFile failed.  Its problem is empty when that
    // load succeeded, or when memory ran out before the reason could be
    // kept.
    const tarn::LoadError& LoadProblem() const;

private:
    std::unique_ptr<CTARNReportingData> m_data;
};

// The final LP's outcome, from CTARNSolutionReporting::GetLPStatus.
namespace LPStatus {
inline constexpr int kOptimal = 0;
inline constexpr int kInfeasible = 1;
inline constexpr int kUnbounded = 2;
}  // namespace LPStatus

// What CTARN_Control::ReturnResidualSortedList ranks the equations by.
namespace SortCriterion {
inline constexpr int kResidual = 1;
inline constexpr int kSlack = 2;  // the infeasibility slack
inline constexpr int kShadowPrice = 4;
}  // namespace SortCriterion

// Sorting services of the solver library, called without an object.
class TARN_API CTARN_Control {
public:
    // By a SortCriterion code: writes the first min(count, equations)
    // equation positions (from 0), largest magnitude first, into index.
    // Another criterion leaves index as it is.
    static void ReturnResidualSortedList(IVELDMgr* manager, CTARNIterationData* data,
                                         int count, int* index, int criterion);
    // Ranks the variables by relative change |new - old| / (|old| + 1) and
    // counts those out of both tolerances into *outOfTolerance.
    static void ReturnVariableDeltaSortedList(IVELDMgr* manager, CTARNIterationData* current,
                                              CTARNIterationData* previous, int count,
                                              int* index, int* outOfTolerance,
                                              double tolerance1, double tolerance2);
};

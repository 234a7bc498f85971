// The region "Infeasibility Diagnosis": the equations still infeasible at
// the last iteration, the final LP's infeasible or unbounded equations and
// variables, and the advice on infeasibility breakers.
#include <cmath>
#include <optional>

#include "output/markup.h"
#include "sections/diagnosis.h"
#include "sections/sections.h"
#include "sections/step_box.h"

namespace {

constexpr double kDiagnosisThreshold = 1e-5;

bool HasNonlinearPart(int state) {
    return state == kNonlinearPart || state == kNonlinearPart + kLPPart;
}
bool HasLPPart(int state) {
    return state == kLPPart || state == kNonlinearPart + kLPPart;
}

CTARNIterationData* LastIteration(RunContext& run) {
    return run.iterationList->GetAt(run.lastIteration + 1);
}

CTARNIterationSolution* SolutionOf(CTARNIterationData* data) {
    return data != nullptr ? data->m_solution : nullptr;
}

void WriteNonlinearPart(RunContext& run) {
    CTARNIterationData* last = LastIteration(run);
    const double tolerance = run.optionTable->GetFeasTolerance();
    if (last == nullptr || !(last->GetFeasValue() > tolerance)) return;

    IVELDEquationSet* equations = nullptr;
    run.modelManager->GetEquationSet(&equations);
    const int count = equations != nullptr ? std::max(equations->GetCount(), 0) : 0;
    run.equationIndex.assign(static_cast<std::size_t>(count), -1);
    CTARN_Control::ReturnResidualSortedList(run.modelManager, last, count,
                                            run.equationIndex.data(), SortCriterion::kSlack);
    run.WriteLine(markup::kRedRegion, run.Text(kMsgInfeasibleNonLinear).c_str());

    CTARNIterationSolution* solution = SolutionOf(last);
    const TripleArray<EquationTriple> triples = EquationTriplesOf(solution);
    for (int position = 0; position < count; ++position) {
        const int number = run.equationIndex[static_cast<std::size_t>(position)] + 1;
        const std::optional<EquationTriple> triple = triples.Of(number);
        if (!triple) continue;
        IVELDEquation* equation = nullptr;
        equations->GetAt(number, &equation);
        if (equation == nullptr) continue;
        if (std::fabs(triple->slack) > tolerance)
            WriteEqnEntry(run.Out(), equation, run.modelManager, solution, kEntryNonlinear);
    }
    run.WriteRegionEnd();
}

// Opens a red list region on its first entry.
class LazyRegion {
public:
    LazyRegion(RunContext& run, unsigned titleId, const std::string& statusWord)
        : m_run(run), m_titleId(titleId), m_statusWord(statusWord) {}
    void OpenOnce() {
        if (m_open) return;
        FormatLine(m_run.lineB, m_run.Text(m_titleId).c_str(), m_statusWord.c_str());
        m_run.WriteLine(markup::kRedRegion, m_run.lineB.c_str());
        m_open = true;
    }
    void CloseIfOpen() {
        if (m_open) m_run.WriteRegionEnd();
    }
    bool IsOpen() const { return m_open; }

private:
    RunContext& m_run;
    unsigned m_titleId;
    const std::string& m_statusWord;
    bool m_open = false;
};

struct LPOutcome {
    int status = 0;
    bool unbounded = false;
    int variableCount = 0;
    int equationCount = 0;
    std::string statusWord;
};

// Writes the linear-equation list; true when its region was opened.
bool WriteLinearEquations(RunContext& run, const LPOutcome& lp) {
    if (!(lp.equationCount > 0 || !lp.unbounded)) return false;
    CTARNIterationSolution* solution = SolutionOf(LastIteration(run));
    IVELDEquationSet* equations = nullptr;
    run.modelManager->GetEquationSet(&equations);
    if (equations == nullptr) return false;
    LazyRegion region(run, kMsgLinearEquationsTitle, lp.statusWord);
    auto write = [&](IVELDEquation* equation, int mode) {
        region.OpenOnce();
        WriteEqnEntry(run.Out(), equation, run.modelManager, solution, mode);
    };
    if (lp.unbounded) {
        int* list = nullptr;
        run.reporting->GetLPDiagEqnList(&list);
        for (int i = 0; list != nullptr && i < lp.equationCount; ++i) {
            IVELDEquation* equation = nullptr;
            equations->GetAt(list[i], &equation);
            if (equation != nullptr) write(equation, kEntryUnboundedLP);
        }
    } else {
        for (IVELDEquation* equation = equations->GetFirst(); equation != nullptr;
             equation = equations->GetNext()) {
            if (equation->IsNonlinear() != 0) continue;
            if (std::fabs(equation->GetDiagValue()) > kDiagnosisThreshold)
                write(equation, kEntryInfeasibleLP);
        }
    }
    region.CloseIfOpen();
    return region.IsOpen();
}

bool ViolatesBoundsOrIntegrality(const IVELDVariable& variable) {
    const double lower = variable.GetLowerBound(), upper = variable.GetUpperBound();
    const double value = variable.GetValue();
    if (lower > value + kBoundTolerance) return true;
    if (value - kBoundTolerance > upper) return true;
    return variable.GetType() == VariableType::kBinary && value != 0.0 && value != 1.0;
}

// Writes the variable list; true when some entry wrote lines.
bool WriteLPVariables(RunContext& run, const LPOutcome& lp) {
    if (!(lp.variableCount > 0 || !lp.unbounded)) return false;
    CTARNIterationSolution* solution = SolutionOf(LastIteration(run));
    IVELDVariableSet* variables = nullptr;
    run.modelManager->GetVariableSet(&variables);
    if (variables == nullptr) return false;
    LazyRegion region(run, kMsgVariablesTitle, lp.statusWord);
    bool linesWritten = false;
    auto write = [&](IVELDVariable* variable) {
        region.OpenOnce();
        if (WriteVarEntry(run.Out(), variable, run.modelManager, solution) > 0)
            linesWritten = true;
    };
    if (lp.unbounded) {
        int* list = nullptr;
        run.reporting->GetLPDiagVarList(&list);
        for (int i = 0; list != nullptr && i < lp.variableCount; ++i) {
            IVELDVariable* variable = nullptr;
            variables->GetAt(list[i], &variable);
            if (variable != nullptr) write(variable);
        }
    } else {
        for (IVELDVariable* variable = variables->GetFirst(); variable != nullptr;
             variable = variables->GetNext())
            if (ViolatesBoundsOrIntegrality(*variable)) write(variable);
    }
    region.CloseIfOpen();
    return linesWritten;
}

void WriteLPPart(RunContext& run) {
    LPOutcome lp;
    lp.status = run.reporting->GetLPStatus();
    lp.variableCount = run.reporting->GetLPDiagVarCount();
    lp.equationCount = run.reporting->GetLPDiagEqnCount();
    lp.unbounded = lp.status == LPStatus::kUnbounded;
    if (lp.status == LPStatus::kInfeasible) lp.statusWord = run.Text(kMsgLPInfeasible);
    if (lp.status == LPStatus::kUnbounded) lp.statusWord = run.Text(kMsgLPUnbounded);

    const bool equationsListed = WriteLinearEquations(run, lp);
    const bool variableLinesWritten = WriteLPVariables(run, lp);
    if (!run.breakersOn && !equationsListed && !variableLinesWritten) {
        run.WriteLine(markup::kAdviceFirst, run.Text(kMsgAdviceNoEntries).c_str());
        run.WriteLine(markup::kAdviceNext, run.Text(kMsgAdviceBreakers).c_str());
    }
}

}  // namespace

void WriteInfeasibilityDiagnosis(RunContext& run) {
    run.WriteLine(markup::kDiagnosisRegion, run.Text(kMsgInfeasibilityDiagnosis).c_str());
    if (HasNonlinearPart(run.infeasibilityState)) WriteNonlinearPart(run);
    if (HasLPPart(run.infeasibilityState)) WriteLPPart(run);
    run.WriteRegionEnd();
}

// The region "Infeasibility Diagnosis": the equations still infeasible at
// the last iteration, the final LP's infeasible or unbounded equations and
// variables, and the advice on infeasibility breakers.
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

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

CTARNIterationData* LastIteration(const RunModel& model) {
    return model.iterationList->GetAt(model.lastIteration + 1);
}

CTARNIterationSolution* SolutionOf(CTARNIterationData* data) {
    return data != nullptr ? data->m_solution : nullptr;
}

void WriteNonlinearPart(const RunModel& model, ReportWriter& writer) {
    CTARNIterationData* last = LastIteration(model);
    const double tolerance = model.optionTable->GetFeasTolerance();
    if (last == nullptr || !(last->GetFeasValue() > tolerance)) return;

    IVELDEquationSet* equations = model.equations;
    const int count = equations != nullptr ? std::max(equations->GetCount(), 0) : 0;
    std::vector<int> index(static_cast<std::size_t>(count), -1);
    CTARN_Control::ReturnResidualSortedList(model.modelManager, last, count, index.data(),
                                            SortCriterion::kSlack);
    Region region =
        writer.OpenRegion(markup::kRedRegion, writer.Text(kMsgInfeasibleNonLinear).c_str());

    CTARNIterationSolution* solution = SolutionOf(last);
    const TripleArray<EquationTriple> triples = EquationTriplesOf(solution);
    for (int position = 0; position < count; ++position) {
        const int number = index[static_cast<std::size_t>(position)] + 1;
        const std::optional<EquationTriple> triple = triples.Of(number);
        if (!triple) continue;
        IVELDEquation* equation = nullptr;
        equations->GetAt(number, &equation);
        if (equation == nullptr) continue;
        if (std::fabs(triple->slack) > tolerance)
            WriteEqnEntry(model, writer, *equation, solution, kEntryNonlinear);
    }
}

struct LPOutcome {
    int status = 0;
    bool unbounded = false;
    int variableCount = 0;
    int equationCount = 0;
    std::string statusWord;
    int* equationList = nullptr;  // the library's diagnosis lists, unbounded only
    int* variableList = nullptr;
};

// The items of one LP list in the order they are written: those the
// library's diagnosis list names, in its order (`numbers`, unbounded), or
// the model's own that `selected` picks, in model order (infeasible).
template <typename Item, typename Set>
std::vector<Item*> LPListItems(Set& set, const int* numbers, int count, bool unbounded,
                               bool (*selected)(const Item&)) {
    std::vector<Item*> items;
    if (unbounded) {
        for (int i = 0; numbers != nullptr && i < count; ++i) {
            Item* item = nullptr;
            set.GetAt(numbers[i], &item);
            if (item != nullptr) items.push_back(item);
        }
        return items;
    }
    for (Item* item = set.GetFirst(); item != nullptr; item = set.GetNext())
        if (selected(*item)) items.push_back(item);
    return items;
}

// Opens the region of an LP list: message `titleId` with the LP status word.
Region OpenLPList(ReportWriter& writer, MessageOf<const char*> title, const std::string& statusWord) {
    return writer.OpenRegion(markup::kRedRegion, writer.Message(title, statusWord.c_str()).c_str());
}

bool LinearAndDiagnosed(const IVELDEquation& equation) {
    return equation.IsNonlinear() == 0 && std::fabs(equation.GetDiagValue()) > kDiagnosisThreshold;
}

bool ViolatesBoundsOrIntegrality(const IVELDVariable& variable) {
    const double lower = variable.GetLowerBound(), upper = variable.GetUpperBound();
    const double value = variable.GetValue();
    if (lower > value + kBoundTolerance) return true;
    if (value - kBoundTolerance > upper) return true;
    return variable.GetType() == VariableType::kBinary && value != 0.0 && value != 1.0;
}

struct LPListOutcome {
    bool opened = false;        // the list's region was written
    bool linesWritten = false;  // some entry wrote lines
};

// Writes one LP list, when the LP asks for it (a count above 0, or an
// infeasible LP): its region, opened on its first item, and an entry for
// each item (`writeEntry`, true when the entry wrote lines).
template <typename Item, typename Set, typename WriteEntry>
LPListOutcome WriteLPList(ReportWriter& writer, const LPOutcome& lp, Set* set, int count,
                          const int* numbers, bool (*selected)(const Item&), MessageOf<const char*> title,
                          WriteEntry writeEntry) {
    LPListOutcome outcome;
    if (!(count > 0 || !lp.unbounded) || set == nullptr) return outcome;
    const std::vector<Item*> items =
        LPListItems<Item>(*set, numbers, count, lp.unbounded, selected);
    if (items.empty()) return outcome;
    Region region = OpenLPList(writer, title, lp.statusWord);
    outcome.opened = true;
    for (Item* item : items)
        if (writeEntry(*item)) outcome.linesWritten = true;
    return outcome;
}

LPOutcome ReadLPOutcome(const RunModel& model, ReportWriter& writer) {
    LPOutcome lp;
    CTARNSolutionReporting& reporting = *model.reporting;
    lp.status = reporting.GetLPStatus();
    lp.variableCount = reporting.GetLPDiagVarCount();
    lp.equationCount = reporting.GetLPDiagEqnCount();
    lp.unbounded = lp.status == LPStatus::kUnbounded;
    if (lp.status == LPStatus::kInfeasible) lp.statusWord = writer.Text(kMsgLPInfeasible);
    if (lp.unbounded) {
        lp.statusWord = writer.Text(kMsgLPUnbounded);
        reporting.GetLPDiagEqnList(&lp.equationList);
        reporting.GetLPDiagVarList(&lp.variableList);
    }
    return lp;
}

void WriteLPPart(const RunModel& model, ReportWriter& writer) {
    const LPOutcome lp = ReadLPOutcome(model, writer);
    CTARNIterationSolution* solution = SolutionOf(LastIteration(model));
    const int mode = lp.unbounded ? kEntryUnboundedLP : kEntryInfeasibleLP;
    const LPListOutcome equations = WriteLPList<IVELDEquation>(
        writer, lp, model.equations, lp.equationCount, lp.equationList, LinearAndDiagnosed,
        kMsgLinearEquationsTitle, [&](IVELDEquation& equation) {
            WriteEqnEntry(model, writer, equation, solution, mode);
            return true;
        });
    const LPListOutcome variables = WriteLPList<IVELDVariable>(
        writer, lp, model.variables, lp.variableCount, lp.variableList,
        ViolatesBoundsOrIntegrality, kMsgVariablesTitle, [&](IVELDVariable& variable) {
            return WriteVarEntry(model, writer, variable, solution) > 0;
        });
    if (!model.breakersOn && !equations.opened && !variables.linesWritten) {
        writer.WriteLine(markup::kAdviceFirst, writer.Text(kMsgAdviceNoEntries).c_str());
        writer.WriteLine(markup::kAdviceNext, writer.Text(kMsgAdviceBreakers).c_str());
    }
}

}  // namespace

void WriteInfeasibilityDiagnosis(const RunModel& model, ReportWriter& writer) {
    Region region = writer.OpenRegion(markup::kDiagnosisRegion,
                                      writer.Text(kMsgInfeasibilityDiagnosis).c_str());
    if (HasNonlinearPart(model.infeasibilityState)) WriteNonlinearPart(model, writer);
    if (HasLPPart(model.infeasibilityState)) WriteLPPart(model, writer);
}

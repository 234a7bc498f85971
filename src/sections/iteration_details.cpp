// The region "Iteration Details": the shared preparation (sets, sorted name
// lists, list lengths, index arrays) and one block per iteration with its
// message lists and tables.
#include <algorithm>
#include <cstring>
#include <vector>

#include "output/markup.h"
#include "sections/details.h"
#include "sections/sections.h"

namespace {

constexpr int kVariableListMaximum = 5;
constexpr int kHeaderPeriod = 52;
constexpr int kShortListLimit = 10;
constexpr int kLongListLimit = 100;

// KORMOPTIONS, whatever its length; empty when unset.
std::string ReadRunOptions() { return platform::EnvironmentValue("KORMOPTIONS").value_or(""); }

template <typename Set, typename Item>
void CollectInNameOrder(Set* set, std::vector<Item*>& itemsInNameOrder) {
    itemsInNameOrder.clear();
    if (set == nullptr) return;
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(std::max(set->GetCount(), 0)));
    for (Item* item = set->GetFirst(); item != nullptr; item = set->GetNext()) {
        const char* name = item->GetName();
        if (name != nullptr) names.emplace_back(name);
    }
    // std::string compares as unsigned bytes, the shorter of equal prefixes first.
    std::stable_sort(names.begin(), names.end());
    itemsInNameOrder.reserve(names.size());
    for (const std::string& name : names)
        if (Item* item = set->Find(name.c_str())) itemsInNameOrder.push_back(item);
}

void PrepareDetails(RunContext& run, DetailsState& state) {
    run.modelManager->GetVariableSet(&state.variables);
    run.modelManager->GetEquationSet(&state.equations);
    IVELDAuxiliary* auxiliary = nullptr;
    run.modelManager->GetAuxiliaryObject(&auxiliary);
    if (auxiliary != nullptr) auxiliary->Prepare();

    CollectInNameOrder(state.variables, state.variablesInNameOrder);
    CollectInNameOrder(state.equations, state.equationsInNameOrder);

    run.listLimit = ListLimitFor(ReadRunOptions().c_str());
    const int variableCount = state.variables != nullptr ? state.variables->GetCount() : 0;
    const int equationCount = state.equations != nullptr ? state.equations->GetCount() : 0;
    state.variableListLength = std::clamp(variableCount, 0, kVariableListMaximum);
    state.equationListLength = std::clamp(equationCount, 0, run.listLimit);
    run.variableIndex.assign(static_cast<std::size_t>(state.variableListLength), -1);
    run.equationIndex.assign(static_cast<std::size_t>(state.equationListLength), -1);
}

struct MessageListStyle {
    unsigned titleId;
    const char* regionFormat;
    unsigned labelId;
    const char* prefixFormat;
};

constexpr MessageListStyle kErrorStyle{kMsgErrorList, markup::kRedRegion, kMsgErrorLabel,
                                       markup::kErrorPrefix};
constexpr MessageListStyle kWarningStyle{kMsgWarningList, markup::kOrangeRegion,
                                         kMsgWarningLabel, markup::kWarningPrefix};
constexpr MessageListStyle kInformationStyle{kMsgInformationList, markup::kGreenRegion,
                                             kMsgInformationLabel, markup::kInformationPrefix};

void WriteMessageList(RunContext& run, CTARNMessageList& list, const MessageListStyle& style) {
    const int count = list.GetCount();
    if (count <= 0) return;
    run.WriteLine(style.regionFormat, run.Text(style.titleId).c_str());
    FormatLine(run.lineB, style.prefixFormat, run.Text(style.labelId).c_str());
    std::string message = list.GetFirst();
    for (int written = 1;; ++written) {
        run.Out() << run.lineB;
        markup::WriteOneLine(run.Out(), message);
        run.Out() << "\n";
        if (written >= count) break;
        message = list.GetNext();
    }
    run.WriteRegionEnd();
}

void WriteBlockTitle(RunContext& run, CTARNIterationData& data) {
    const int iteration = data.GetIter();
    if (iteration == 0) {
        run.WriteLine(markup::kBlockRegion, run.Text(kMsgInitialConditions).c_str());
        return;
    }
    LoadMessage(run.module, kMsgMajorIteration, &run.messageBuffer, iteration - 1);
    run.WriteLine(markup::kBlockRegion, run.messageBuffer.c_str());
}

void WriteBlock(RunContext& run, DetailsState& state, const IterationBlock& block) {
    CTARNIterationData& data = *block.current;
    WriteBlockTitle(run, data);
    WriteMessageList(run, data.errorMessages, kErrorStyle);
    WriteMessageList(run, data.warningMessages, kWarningStyle);
    WriteMessageList(run, data.infoMessages, kInformationStyle);

    WriteLargestResiduals(run, state, block);
    if (data.GetIter() > 0) WriteLargestShadowPrices(run, state, block);
    if (data.GetFeasValue() > 0) WriteLargestFeasibilitySlacks(run, state, block);
    if (block.previous != nullptr) WriteLargestVariableChange(run, state, block);
    if (data.GetIter() > 0) WriteActiveBounds(run, state, block);
    WriteVariableDetails(run, state, block);
    WriteEquationDetails(run, state, block);
    run.WriteRegionEnd();
}

}  // namespace

int ListLimitFor(const char* options) {
    return options != nullptr && std::strstr(options, "VDRLONGLIST") != nullptr ? kLongListLimit
                                                                                 : kShortListLimit;
}

TripleArray<VariableTriple> VariableTriples(const CTARNIterationData* data) {
    return VariableTriplesOf(data != nullptr ? data->m_solution : nullptr);
}

TripleArray<EquationTriple> EquationTriples(const CTARNIterationData* data) {
    return EquationTriplesOf(data != nullptr ? data->m_solution : nullptr);
}

const std::string& FormWord(RunContext& run, const IVELDEquation& equation) {
    return run.Text(equation.IsNonlinear() > 0 ? kMsgNonLinear : kMsgLinear);
}

void RepeatHeaderBefore(RunContext& run, int rowCount, unsigned headerId) {
    if (rowCount > 1 && rowCount % kHeaderPeriod == 0)
        run.WriteLine(markup::kGreenHeader, run.Text(headerId).c_str());
}

void OpenGreenTable(RunContext& run, unsigned titleId, unsigned headerId) {
    run.WriteLine(markup::kGreenRegion, run.Text(titleId).c_str());
    run.WriteLine(markup::kGreenHeader, run.Text(headerId).c_str());
}

void WriteIterationDetails(RunContext& run) {
    run.WriteLine(markup::kGreenRegion, run.Text(kMsgIterationDetails).c_str());
    DetailsState state;
    PrepareDetails(run, state);

    IterationBlock block;
    block.current = run.iterationList->GetFirst();
    while (block.current != nullptr) {
        WriteBlock(run, state, block);
        block.previous = block.current;
        block.current = run.iterationList->GetNext();
    }
}

#include "model/run_model.h"

#include <algorithm>
#include <cstring>

#include "model/run_failure.h"
#include "platform/platform.h"

namespace {

constexpr int kVariableListMaximum = 5;
constexpr int kShortListLimit = 10;
constexpr int kLongListLimit = 100;

void FetchLibraryObjects(CTARNSolutionReporting& reporting, RunModel& model) {
    model.reporting = &reporting;
    model.modelManager = reporting.GetModelManager();
    model.lpOptions = reporting.GetLPOptions();
    model.optionTable = reporting.GetOptionTable();
    model.iterationList = reporting.GetIterationList();
    if (model.modelManager == nullptr || model.optionTable == nullptr ||
        model.iterationList == nullptr)
        throw RunFailure(
            "the solver library did not hand out its model manager, option table and iteration list.");
}

// The model option MININFTR, read through the model manager.
bool BreakersOn(IVELDMgr& manager) {
    IVELDOptionSet* options = nullptr;
    manager.GetModelOptions(&options);
    return options == nullptr || !BreakersOffValue(options->GetOptionValue("MININFTR"));
}

template <typename Set, typename Item>
std::vector<Item*> ItemsInNameOrder(Set* set) {
    std::vector<Item*> itemsInNameOrder;
    if (set == nullptr) return itemsInNameOrder;
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
    return itemsInNameOrder;
}

void CollectItems(RunModel& model) {
    model.modelManager->GetVariableSet(&model.variables);
    model.modelManager->GetEquationSet(&model.equations);
    IVELDAuxiliary* auxiliary = nullptr;
    model.modelManager->GetAuxiliaryObject(&auxiliary);
    if (auxiliary != nullptr) auxiliary->Prepare();
    model.variablesInNameOrder = ItemsInNameOrder<IVELDVariableSet, IVELDVariable>(model.variables);
    model.equationsInNameOrder = ItemsInNameOrder<IVELDEquationSet, IVELDEquation>(model.equations);
}

void SetListLengths(RunModel& model) {
    const std::string options = platform::EnvironmentValue("KORMOPTIONS").value_or("");
    model.listLimit = ListLimitFor(options.c_str());
    const int variableCount = model.variables != nullptr ? model.variables->GetCount() : 0;
    const int equationCount = model.equations != nullptr ? model.equations->GetCount() : 0;
    model.variableListLength = std::clamp(variableCount, 0, kVariableListMaximum);
    model.equationListLength = std::clamp(equationCount, 0, model.listLimit);
}

// The last iteration ended infeasible: its total infeasibility is above 0
// and above the option table's tolerance.
bool LastIterationInfeasible(const RunModel& model) {
    CTARNIterationList& iterations = *model.iterationList;
    const double tolerance = model.optionTable->GetFeasTolerance();
    for (CTARNIterationData* entry = iterations.GetFirst(); entry != nullptr;
         entry = iterations.GetNext()) {
        const double infeasibility = entry->GetFeasValue();
        if (entry->GetIter() == model.lastIteration && infeasibility > 0 && infeasibility > tolerance)
            return true;
    }
    return false;
}

int InfeasibilityState(const RunModel& model) {
    int state = LastIterationInfeasible(model) ? kNonlinearPart : 0;
    // Infeasible, unbounded and the other outcomes above optimal; a negative
    // status asks for no LP part.
    if (model.reporting->GetLPStatus() > LPStatus::kOptimal) state += kLPPart;
    return state;
}

}  // namespace

RunModel BuildRunModel(CTARNSolutionReporting& reporting, const std::string& dataFilePath) {
    RunModel model;
    model.dataFilePath = dataFilePath;
    FetchLibraryObjects(reporting, model);
    model.breakersOn = BreakersOn(*model.modelManager);
    model.lastIteration = model.iterationList->GetCount() - 1;
    model.hasIterations = model.iterationList->GetFirst() != nullptr;
    if (!model.hasIterations) return model;
    CollectItems(model);
    SetListLengths(model);
    model.infeasibilityState = InfeasibilityState(model);
    return model;
}

bool BreakersOffValue(const char* mininftr) {
    return mininftr != nullptr && std::strncmp(mininftr, "NONE", 4) == 0;
}

int ListLimitFor(const char* options) {
    return options != nullptr && std::strstr(options, "VDRLONGLIST") != nullptr ? kLongListLimit
                                                                                 : kShortListLimit;
}

// The facts about one run that the report consults, worked out once after
// the run-data file is loaded.  Section writers read them and change none:
// nothing about the run is decided while it is written.
#pragma once

#include <string>
#include <vector>

#include "libs/tarn.h"

// The infeasibility state is the sum of the diagnosis parts it asks for.
inline constexpr int kNonlinearPart = 1;  // the last iteration ended infeasible
inline constexpr int kLPPart = 2;         // the final LP's status is above optimal

struct RunModel {
    std::string dataFilePath;

    // The library's objects, borrowed for the run.
    CTARNSolutionReporting* reporting = nullptr;
    IVELDMgr* modelManager = nullptr;
    CTARNLPOptions* lpOptions = nullptr;  // may be null
    CTARNOptionTable* optionTable = nullptr;
    CTARNIterationList* iterationList = nullptr;
    IVELDVariableSet* variables = nullptr;  // may be null
    IVELDEquationSet* equations = nullptr;  // may be null

    bool hasIterations = false;
    int lastIteration = 0;       // iteration list count - 1
    bool breakersOn = true;      // false when MININFTR begins with "NONE"
    int listLimit = 10;          // 100 with KORMOPTIONS "VDRLONGLIST"
    int variableListLength = 0;  // min(variables, 5)
    int equationListLength = 0;  // min(equations, list limit)
    int infeasibilityState = 0;  // kNonlinearPart, kLPPart, both (their sum) or 0

    // The items in the order of their names (ascending in plain byte order,
    // stable), looked up once with Find; names that Find does not resolve
    // are left out.
    std::vector<IVELDVariable*> variablesInNameOrder;
    std::vector<IVELDEquation*> equationsInNameOrder;
};

// The model of a loaded run.  Throws RunFailure (with nothing more to say:
// the library reports its own faults) when the reporting object lacks the
// model manager, the option table or the iteration list.
RunModel BuildRunModel(CTARNSolutionReporting& reporting, const std::string& dataFilePath);

// True when the model option MININFTR switches infeasibility breakers off:
// its value begins with the four capital letters "NONE".
bool BreakersOffValue(const char* mininftr);

// The list limit a KORMOPTIONS value asks for: 100 when it holds
// "VDRLONGLIST", else 10.
int ListLimitFor(const char* options);

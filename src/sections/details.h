// What the sections of one iteration block share: the model's sets, the
// sorted name lists with their items, the list lengths, and the block's
// iteration data.
#pragma once

#include <string>
#include <vector>

#include "run/run_context.h"

struct DetailsState {
    IVELDVariableSet* variables = nullptr;
    IVELDEquationSet* equations = nullptr;
    // The items in the order of their names (ascending in plain byte order,
    // stable), looked up once with Find; names that Find does not resolve
    // are left out.
    std::vector<IVELDVariable*> variablesInNameOrder;
    std::vector<IVELDEquation*> equationsInNameOrder;
    int variableListLength = 0;  // min(variables, 5)
    int equationListLength = 0;  // min(equations, list limit)
};

struct IterationBlock {
    CTARNIterationData* current = nullptr;
    CTARNIterationData* previous = nullptr;  // null for the first block
};

// The value triples of one iteration; empty when the iteration has none.
TripleArray<VariableTriple> VariableTriples(const CTARNIterationData* data);
TripleArray<EquationTriple> EquationTriples(const CTARNIterationData* data);

// The list limit a KORMOPTIONS value asks for: 100 when it holds
// "VDRLONGLIST", else 10.
int ListLimitFor(const char* options);

// A Q-variable name begins with "Q" or "q", except QVBL, QWBL, qVBL, qWBL.
bool IsQVariableName(const std::string& name);

// "non-linear" for an equation whose IsNonlinear() is above 0, else "linear".
const std::string& FormWord(RunContext& run, const IVELDEquation& equation);

// Writes the table header `headerId` again before every row whose count is
// a multiple of 52 (the first row has the header of the region already).
void RepeatHeaderBefore(RunContext& run, int rowCount, unsigned headerId);

// Opens a green level-4 region titled with message `titleId` and writes the
// green column header `headerId` under it.
void OpenGreenTable(RunContext& run, unsigned titleId, unsigned headerId);

void WriteLargestResiduals(RunContext& run, DetailsState& state, const IterationBlock& block);
void WriteLargestShadowPrices(RunContext& run, DetailsState& state, const IterationBlock& block);
void WriteLargestFeasibilitySlacks(RunContext& run, DetailsState& state,
                                   const IterationBlock& block);
void WriteLargestVariableChange(RunContext& run, DetailsState& state, const IterationBlock& block);
void WriteActiveBounds(RunContext& run, const DetailsState& state, const IterationBlock& block);
void WriteVariableDetails(RunContext& run, const DetailsState& state, const IterationBlock& block);
void WriteEquationDetails(RunContext& run, const DetailsState& state, const IterationBlock& block);

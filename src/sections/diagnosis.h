// The entry tables of the infeasibility diagnosis: an equation with the
// variables of its matrix row, a variable with the equations of its column.
#pragma once

#include <ostream>

#include "libs/tarn.h"

enum EqnEntryMode {
    kEntryNonlinear = 0,      // value shown: the last iteration's infeasibility slack
    kEntryUnboundedLP = 1,    // value shown: the LP diagnosis value
    kEntryInfeasibleLP = 2,   // value shown: the LP diagnosis value
};

void WriteEqnEntry(std::ostream& out, IVELDEquation* equation, IVELDMgr* manager,
                   CTARNIterationSolution* solution, int mode);

// Returns the number of associated-equation lines written, -1 when the
// message table cannot be reached.
int WriteVarEntry(std::ostream& out, IVELDVariable* variable, IVELDMgr* manager,
                  CTARNIterationSolution* solution);

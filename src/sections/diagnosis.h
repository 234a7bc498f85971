// The entry tables of the infeasibility diagnosis: an equation with the
// variables of its matrix row, a variable with the equations of its column.
#pragma once

#include "libs/tarn.h"
#include "model/run_model.h"
#include "output/report_writer.h"

enum EqnEntryMode {
    kEntryNonlinear = 0,      // value shown: the last iteration's infeasibility slack
    kEntryUnboundedLP = 1,    // value shown: the LP diagnosis value
    kEntryInfeasibleLP = 2,   // value shown: the LP diagnosis value
};

void WriteEqnEntry(const RunModel& model, ReportWriter& writer, IVELDEquation& equation,
                   CTARNIterationSolution* solution, int mode);

// Returns the number of associated-equation lines written.
int WriteVarEntry(const RunModel& model, ReportWriter& writer, IVELDVariable& variable,
                  CTARNIterationSolution* solution);

// The loaded run held by CTARNSolutionReporting.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "libs/tarn.h"
#include "libs/veldxmps.h"

class CTARNReportingData {
public:
    CTARNReportingData();

    // Created with the reporting object, so that the working directory can
    // be given before the run-data file is read; each load replaces its model.
    std::unique_ptr<IVELDMgr> model;
    int caseNumber = 0;
    std::string description;
    std::string date;
    std::string status;
    int lpStatus = 0;
    std::vector<int> diagVariables;
    std::vector<int> diagEquations;
    CTARNOptionTable optionTable;
    CTARNLPOptions lpOptions;
    CTARNIterationList iterations;
    // Why the last load failed (see CTARNSolutionReporting::LoadProblem).
    tarn::LoadError loadError;
};

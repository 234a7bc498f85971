// What the run-data loader makes of a file: everything it holds, in the form
// the libraries keep it.  The loader fills it, the builder and the walker
// write into it, the reporting object keeps it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "libs/tarn.h"
#include "libs/veldxmps_model.h"

namespace tarn {

// Everything a run-data file holds, in the form the libraries keep it.
struct LoadedRun {
    veldxmps::ModelRecord model;
    int caseNumber = 0;
    std::string description;
    std::string date;
    std::string status;
    double feasTolerance = 1e-6;
    double deltaTolerance1 = 1e-3;
    double deltaTolerance2 = 1e-4;
    std::vector<std::pair<std::string, std::string>> solverOptions;
    int lpStatus = 0;
    std::vector<std::pair<std::string, std::string>> lpOptions;
    std::vector<int> diagEquations;
    std::vector<int> diagVariables;
    std::vector<std::unique_ptr<CTARNIterationData>> iterations;
    std::vector<std::unique_ptr<CTARNIterationSolution>> solutions;
};

}  // namespace tarn

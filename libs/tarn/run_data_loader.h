// The run-data file loader of the solver library.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "libs/tarn.h"
#include "libs/veldxmps_model.h"
#include "run_data_rules.h"

namespace tarn {

// The largest run-data file the loader takes.
constexpr std::uint64_t kMaxRunDataFileBytes = rules::kMaxFileBytes;

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

// Reads and checks the whole file at path into run.  Returns an empty text
// on success; otherwise one line, without line break, naming the file and
// the first problem found (run is then to be thrown away).  Throws only
// std::bad_alloc.
std::string LoadRunData(const char* path, LoadedRun& run);

// Parses run-data text held in memory; fileName only names it in messages.
std::string ParseRunData(const char* text, size_t size, const std::string& fileName,
                         LoadedRun& run);

}  // namespace tarn

// tarnslp: solves models with bilinear terms by successive linear
// programming on COIN-OR CLP, records each run through the run-data writer
// and writes its report.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "TARNReport.h"
#include "model.h"
#include "run_record.h"
#include "solver.h"

namespace {

namespace fs = std::filesystem;

// Solves one model into DIRECTORY/STEM.vdr and its report; false when the
// model cannot be read or the report cannot be written.
bool SolveInto(const slp::Model& model, const std::string& base, const slp::SolverOptions& options,
               bool report) {
    slp::Result result;
    {
        slp::RunRecorder recorder(base, model, options);
        result = slp::Solve(model, options, recorder);
        recorder.Finish(result);
    }
    std::printf("%s: %s\n", model.name.c_str(), slp::OutcomeLine(result).c_str());
    if (!report) return true;
    if (CreateUQExecutionReport(base.c_str()) != 0) {
        std::fprintf(stderr, "tarnslp: the report of %s was not written\n", base.c_str());
        return false;
    }
    std::printf("wrote %s.log\n", base.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Solves models with bilinear terms by successive linear programming (COIN-OR CLP),\n"
                 "writes each run's run-data file DIRECTORY/NAME.vdr and its report NAME.log.",
                 "tarnslp"};
    std::vector<std::string> models;
    std::string directory = ".", refinery;
    int periods = 24;
    bool noReport = false;
    slp::SolverOptions options;
    app.add_option("MODEL", models, "model files (JSON, see slp/README.md)");
    app.add_option("-o,--output", directory, "the directory for the run-data files and reports (made if missing)")
        ->capture_default_str();
    app.add_option("--iterations", options.iterationLimit, "the major iteration limit")
        ->capture_default_str()->check(CLI::PositiveNumber);
    app.add_option("--penalty", options.penalty, "the first penalty on the rows' violation")
        ->capture_default_str()->check(CLI::PositiveNumber);
    app.add_flag("--no-report", noReport, "write the run-data files only");
    app.add_option("--write-refinery", refinery, "write the generated refinery model to FILE");
    app.add_option("--periods", periods, "the refinery model's periods (about 104 variables each)")
        ->capture_default_str()->check(CLI::Range(1, 10000));
    app.set_version_flag("-V,--version", "tarnslp " TARN_VERSION);
    CLI11_PARSE(app, argc, argv);
    if (models.empty() && refinery.empty()) {
        std::cerr << "tarnslp: no model given\nTry 'tarnslp --help' for more information.\n";
        return 2;
    }
    if (!refinery.empty()) {
        std::ofstream out(refinery);
        slp::WriteModel(slp::RefineryModel(periods), out);
        if (!out.flush()) {
            std::cerr << "tarnslp: cannot write " << refinery << "\n";
            return 1;
        }
        std::printf("wrote %s\n", refinery.c_str());
    }
    std::error_code made;
    if (!models.empty() && (fs::create_directories(directory, made), made)) {
        std::cerr << "tarnslp: cannot create the directory " << directory << ": " << made.message() << "\n";
        return 1;
    }
    bool allWritten = true;
    for (const std::string& file : models) {
        try {
            const slp::Model model = slp::ReadModel(file);
            const std::string base = (fs::path(directory) / fs::path(file).stem()).string();
            allWritten = SolveInto(model, base, options, !noReport) && allWritten;
        } catch (const tarn::rundata::RuleError& error) {
            // A name the run data cannot hold, in the words of the run data.
            std::cerr << "tarnslp: " << file << ": " << error.what() << "\n";
            allWritten = false;
        } catch (const std::exception& error) {
            std::cerr << "tarnslp: " << error.what() << "\n";
            allWritten = false;
        }
    }
    return allWritten ? 0 : 1;
}

// Several starts of one model, one thread each at a time per core.
#include "multistart.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

namespace slp {
namespace {

class KeptIterations : public IterationSink {
public:
    void Record(const IterationRecord& record) override { records.push_back(record); }
    std::vector<IterationRecord> records;
};

struct StartRun {
    Result result;
    KeptIterations iterations;
};

bool Better(const Model& model, const Result& candidate, const Result& best) {
    const bool candidateFeasible = candidate.outcome == Outcome::Converged;
    const bool bestFeasible = best.outcome == Outcome::Converged;
    if (candidateFeasible != bestFeasible) return candidateFeasible;
    if (!candidateFeasible) return false;
    return model.maximize ? candidate.objective > best.objective : candidate.objective < best.objective;
}

}  // namespace

std::vector<double> SpreadStart(const Model& model, int start) {
    std::mt19937_64 numbers(static_cast<std::uint64_t>(start) * 0x9E3779B97F4A7C15ULL + 2026);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> x;
    for (const VariableSpec& v : model.variables) {
        const double span = 10 * (std::fabs(v.start) + 1);
        const double low = std::isfinite(v.lower) ? v.lower : (std::isfinite(v.upper) ? v.upper - span : v.start - span / 2);
        const double high = std::isfinite(v.upper) ? v.upper : low + span;
        x.push_back(std::clamp(low + unit(numbers) * (high - low), v.lower, v.upper));
    }
    return x;
}

Result SolveFromStarts(const Model& model, const SolverOptions& options, int starts, IterationSink& sink) {
    if (starts <= 1) return Solve(model, options, sink);
    std::vector<StartRun> runs(static_cast<size_t>(starts));
    std::atomic<int> next{0};
    auto work = [&] {
        for (int start = next++; start < starts; start = next++) {
            Model started = model;
            if (start > 0) {
                const std::vector<double> x = SpreadStart(model, start);
                for (size_t j = 0; j < x.size(); ++j) started.variables[j].start = x[j];
            }
            StartRun& run = runs[static_cast<size_t>(start)];
            run.result = Solve(started, options, run.iterations);
        }
    };
    const unsigned cores = std::max(1u, std::min(std::thread::hardware_concurrency(), static_cast<unsigned>(starts)));
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < cores; ++i) workers.emplace_back(work);
    work();
    for (std::thread& worker : workers) worker.join();

    size_t best = 0;
    for (size_t i = 1; i < runs.size(); ++i)
        if (Better(model, runs[i].result, runs[best].result)) best = i;
    std::vector<IterationRecord>& records = runs[best].iterations.records;
    for (size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].result.outcome == Outcome::Interrupted) runs[best].result.outcome = Outcome::Interrupted;
        const std::string line = "start " + std::to_string(i + 1) + (i == 0 ? " (the model's own)" : "") + ": " +
                                 OutcomeLine(runs[i].result) + (i == best ? " (kept)" : "");
        if (!records.empty()) records.back().information.push_back(line);
        runs[best].result.startEnds.push_back(line);
    }
    for (const IterationRecord& record : records) sink.Record(record);
    return runs[best].result;
}

}  // namespace slp
